#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool TestEnv::writeFile(const QString &name, const QByteArray &content) const
{
    QFile file(filePath(name));
    return QDir(path()).mkpath(QFileInfo(name).path()) && file.open(QIODevice::WriteOnly)
        && file.write(content) == content.size();
}
