#include "support/goldenfile.h"

namespace {
bool west()
{
    return qgetenv("TZ") == "America/New_York";
}
} // namespace

QJsonObject GoldenFile::read(const QString &file, const std::function<QJsonObject()> &actual)
{
    if (qEnvironmentVariableIsSet("ZUB_WRITE_GOLDEN")) {
        QFile golden(file);
        if (golden.open(QIODevice::WriteOnly | QIODevice::Truncate))
            golden.write(QJsonDocument(actual()).toJson());
    }
    return JsonPath::readFile(file).object();
}

QString GoldenFile::path(const QString &stem)
{
    return stem + (west() ? ".west.expected.json" : ".expected.json");
}

void GoldenFile::addRows(const QJsonObject &cases, const QString &goldenFile,
                         const std::function<QJsonObject(const QString &, const QJsonValue &)> &run)
{
    // Without tzdata the zone silently becomes UTC and the second run proves nothing.
    QVERIFY(!west() || QDateTime(QDate(2024, 1, 15), QTime(12, 0)).offsetFromUtc() == -5 * 3600);
    QVERIFY2(!cases.isEmpty(), "no cases");
    const QJsonObject expected = read(goldenFile, [&] {
        QJsonObject all;
        for (auto it = cases.begin(); it != cases.end(); ++it)
            all.insert(it.key(), run(it.key(), it.value()));
        return all;
    });
    QTest::addColumn<QString>("name");
    QTest::addColumn<QJsonValue>("testCase");
    QTest::addColumn<QJsonObject>("expected");
    for (auto it = cases.begin(); it != cases.end(); ++it)
        QTest::addRow("%s", qPrintable(it.key())) << it.key() << it.value() << expected.value(it.key()).toObject();
}

QByteArray GoldenFile::mismatch(const QString &fileName, const QString &name, const QJsonValue &actual)
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
