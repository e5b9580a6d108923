#include "support/golden.h"

#include "support/jsonpath.h"

#include <QFile>
#include <QJsonObject>

namespace Golden {

QByteArray mismatch(const QString &fileName, const QString &name, const QJsonValue &actual)
{
    QJsonObject expected = JsonPath::readFile(fileName).object();
    if (qEnvironmentVariableIsSet("ZUB_WRITE_GOLDEN")) {
        expected.insert(name, actual);
        QFile file(fileName);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return "cannot write " + fileName.toUtf8();
        file.write(QJsonDocument(expected).toJson());
    }
    if (expected.value(name) == actual)
        return {};
    return JsonPath::describeMismatch({{name, actual}}, {{name, expected.value(name)}});
}

} // namespace Golden
