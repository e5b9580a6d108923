#include "db/emvticketresp.h"

#include <QtTest>

class tst_EMVticketResp : public QObject
{
    Q_OBJECT
private slots:
    void keepsReplyWhole_data();
    void keepsReplyWhole();
};

void tst_EMVticketResp::keepsReplyWhole_data()
{
    QTest::addColumn<QByteArray>("json"); // an element of an array, as a reply may arrive
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty") << QByteArray("{}") << QByteArray("{}");
    QTest::newRow("element-number") << QByteArray("5") << QByteArray("{}");
    QTest::newRow("element-null") << QByteArray("null") << QByteArray("{}");
    QTest::newRow("error") << QByteArray(R"({"error":{"id":17,"msg":"x"},"resp":null})")
                           << QByteArray(R"({"error":{"id":17,"msg":"x"},"resp":null})");
    QTest::newRow("tickets") << QByteArray(R"({"resp":[{"id":1},{"id":2}],"seq":3})")
                             << QByteArray(R"({"resp":[{"id":1},{"id":2}],"seq":3})");
}

void tst_EMVticketResp::keepsReplyWhole()
{
    QFETCH(QByteArray, json);
    QFETCH(QByteArray, expected);

    const QJsonObject received = QJsonDocument::fromJson("[" + json + "]").array().at(0).toObject();
    EMVticketResp r(received);
    QCOMPARE(QJsonDocument(r.toJson()).toJson(QJsonDocument::Compact), expected);
    r.fromJson(QJsonObject());
    QVERIFY(r.toJson().isEmpty());
    QVERIFY(EMVticketResp().toJson().isEmpty());
}

QTEST_GUILESS_MAIN(tst_EMVticketResp)
#include "tst_emvticketresp.moc"
