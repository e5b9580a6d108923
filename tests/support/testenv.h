#pragma once

#include <QDir>
#include <QTemporaryDir>

// A fresh temporary folder per test for data files, stores and a settings file.
class TestEnv
{
public:
    TestEnv() = default;
    bool isValid() const { return mDir.isValid(); }
    QString path() const { return mDir.path(); }
    QString filePath(const QString &name) const { return mDir.filePath(name); }
    QString settingsFile() const { return mDir.filePath(QStringLiteral("zub.conf")); }
    // Writes a file below the folder, creating sub-folders; false on failure.
    bool writeFile(const QString &name, const QByteArray &content) const
    {
        QFile file(filePath(name));
        return QDir(path()).mkpath(QFileInfo(name).path()) && file.open(QIODevice::WriteOnly)
            && file.write(content) == content.size();
    }

private:
    QTemporaryDir mDir;
};
