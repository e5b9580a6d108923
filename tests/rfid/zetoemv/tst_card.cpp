#include "rfid/zetoemv/card.h"

#include "support/jsonpath.h"

#include <QtTest>

#include <stdexcept>

using namespace ZetoEMV;

namespace {

QJsonObject sample(const QString &name)
{
    return JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/valid/") + name).object();
}

QString readError(const QJsonObject &json)
{
    try {
        Card card(json);
    } catch (const std::runtime_error &e) {
        return QString::fromLocal8Bit(e.what());
    }
    return QString();
}

} // namespace

class tst_ZetoEmvCard : public QObject
{
    Q_OBJECT
private slots:
    void identity();
    void defaultCard();
    void errorWithoutDataIsCardContent();
    void echoesWhatWasRead();
    void requiresEnvelope_data();
    void requiresEnvelope();
};

void tst_ZetoEmvCard::identity()
{
    QCOMPARE(Card::MyTemplate, QStringLiteral("EMV"));
    QCOMPARE(Card::SupportedVersions, QList<int>{1});
}

void tst_ZetoEmvCard::defaultCard()
{
    const Card card;
    QCOMPARE(card.getTemplate(), QStringLiteral("EMV"));
    QCOMPARE(card.getUid(), QString());
    QCOMPARE(card.getType(), 0);
    QVERIFY(!card.hasError());
    QVERIFY(card.getData().isEmpty());
    const QJsonObject expected{{"uid", ""}, {"type", 0}, {"template", "EMV"}};
    QCOMPARE(card.toJson(), expected);
    QCOMPARE(Card(card.toJson()).toJson(), expected);
}

void tst_ZetoEmvCard::errorWithoutDataIsCardContent()
{
    const QJsonObject json = sample(QStringLiteral("emv-error.json"));
    QVERIFY(!json.contains(QStringLiteral("data")));
    const Card card(json);
    QCOMPARE(card.getUid(), QStringLiteral("5F2A0978"));
    QCOMPARE(card.getType(), 512);
    QCOMPARE(card.getTemplate(), QStringLiteral("EMV"));
    QVERIFY(card.hasError());
    const QJsonObject error{{"code", 405}, {"command", "emv_transaction"}, {"what", "card declined"}};
    QCOMPARE(card.getError(), error);
    QVERIFY(card.getData().isEmpty());
    QCOMPARE(card.toJson(), json);
}

void tst_ZetoEmvCard::echoesWhatWasRead()
{
    QJsonObject json = sample(QStringLiteral("emv-data.json"));
    json.insert(QStringLiteral("type"), QStringLiteral("512")); // of another type: read as 0, sent back as read
    json.insert(QStringLiteral("session"), 17);
    const Card card(json);
    QVERIFY(!card.hasError());
    QCOMPARE(card.getType(), 0);
    QCOMPARE(card.getData().value(QStringLiteral("amount")), QJsonValue(120));
    QCOMPARE(card.toJson(), json);
}

void tst_ZetoEmvCard::requiresEnvelope_data()
{
    QTest::addColumn<QString>("removed");
    QTest::addColumn<QString>("expectedError");
    QTest::newRow("uid") << "uid" << "card missing 'uid' field in top level";
    QTest::newRow("type") << "type" << "card missing 'type' field in top level";
    QTest::newRow("template") << "template" << "card missing 'template' field in top level";
    QTest::newRow("error") << "error" << "";
}

void tst_ZetoEmvCard::requiresEnvelope()
{
    QFETCH(QString, removed);
    QFETCH(QString, expectedError);
    QCOMPARE(readError(JsonPath::removed(sample(QStringLiteral("emv-error.json")), removed)), expectedError);
}

QTEST_GUILESS_MAIN(tst_ZetoEmvCard)
#include "tst_card.moc"
