#include "rfid/zetodesv4/card.h"

#include "support/jsonpath.h"

#include <QtTest>

using namespace ZetoDESv4;

namespace {

QJsonObject sample()
{
    return JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/valid/desv4-raw.json")).object();
}

QJsonObject object(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

} // namespace

class tst_ZetoDesV4Card : public QObject
{
    Q_OBJECT
private slots:
    void keepsEnvelopeAndRawData();
    void neverThrows_data();
    void neverThrows();
};

void tst_ZetoDesV4Card::keepsEnvelopeAndRawData()
{
    QCOMPARE(Card::MyTemplate, QStringLiteral("ZetoDESv4"));
    const QJsonObject json = sample();
    const Card card(json);
    QCOMPARE(card.getUid(), QStringLiteral("04D4D4D4D4"));
    QCOMPARE(card.getType(), 256);
    QCOMPARE(card.getTemplate(), QStringLiteral("ZetoDESv4"));
    QCOMPARE(card.getData(), json.value(QStringLiteral("data")).toObject());
    QCOMPARE(card.toJson(), json);
}

void tst_ZetoDesV4Card::neverThrows_data()
{
    QTest::addColumn<QJsonObject>("message");
    QTest::addColumn<QString>("expectedUid");
    QTest::addColumn<int>("expectedType");
    QTest::addColumn<QJsonObject>("expectedJson");

    QTest::newRow("empty") << QJsonObject() << "" << 0 << object(R"({"template": "ZetoDESv4"})");
    QTest::newRow("no-data") << object(R"({"uid": "A1", "type": 256, "template": "ZetoDESv4"})") << "A1" << 256
                             << object(R"({"uid": "A1", "type": 256, "template": "ZetoDESv4"})");
    QTest::newRow("data-not-object")
        << object(R"({"uid": "A1", "type": 256, "template": "ZetoDESv4", "data": [1, 2]})") << "A1" << 256
        << object(R"({"uid": "A1", "type": 256, "template": "ZetoDESv4", "data": [1, 2]})");
    QTest::newRow("wrong-types-kept") << object(R"({"uid": 7, "type": "256", "template": "zetodesv4"})") << "" << 0
                                      << object(R"({"uid": 7, "type": "256", "template": "ZetoDESv4"})");
    QTest::newRow("type-out-of-range") << object(R"({"uid": "A1", "type": 1e20})") << "A1" << 0
                                       << object(R"({"uid": "A1", "type": 1e20, "template": "ZetoDESv4"})");
}

void tst_ZetoDesV4Card::neverThrows()
{
    QFETCH(QJsonObject, message);
    QFETCH(QString, expectedUid);
    QFETCH(int, expectedType);
    QFETCH(QJsonObject, expectedJson);

    const Card card(message);
    QCOMPARE(card.getUid(), expectedUid);
    QCOMPARE(card.getType(), expectedType);
    QCOMPARE(card.getTemplate(), QStringLiteral("ZetoDESv4"));
    QCOMPARE(card.toJson(), expectedJson);
}

QTEST_GUILESS_MAIN(tst_ZetoDesV4Card)
#include "tst_card.moc"
