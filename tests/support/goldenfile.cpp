#include "support/goldenfile.h"

namespace {
bool west()
{
    return qgetenv("TZ") == "America/New_York";
}

// The golden file's object, with `actual` written in first under ZUB_WRITE_GOLDEN.
QJsonObject readOrWrite(const QString &fileName, const std::function<QJsonObject(QJsonObject)> &actual)
{
    QJsonObject golden = JsonPath::readFile(fileName).object();
    QFile file(fileName);
    if (qEnvironmentVariableIsSet("ZUB_WRITE_GOLDEN") && file.open(QIODevice::WriteOnly))
        file.write(QJsonDocument(golden = actual(golden)).toJson());
    return golden;
}
} // namespace

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
    const QJsonObject expected = readOrWrite(goldenFile, [&](const QJsonObject &) {
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
    const QJsonValue expected = readOrWrite(fileName, [&](QJsonObject golden) {
        golden.insert(name, actual);
        return golden;
    }).value(name);
    return expected == actual ? QByteArray() : JsonPath::describeMismatch({{name, actual}}, {{name, expected}});
}
