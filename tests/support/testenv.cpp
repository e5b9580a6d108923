#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool TestEnv::writeFile(const QString &name, const QByteArray &content) const
{
    const QString target = filePath(name);
    if (!QDir().mkpath(QFileInfo(target).absolutePath()))
        return false;
    QFile file(target);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}
