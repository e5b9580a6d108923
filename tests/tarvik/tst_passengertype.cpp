#include "tarvik/passengertype.h"

#include <QtTest>

using namespace tarvik;

class tst_PassengerType : public QObject
{
    Q_OBJECT
private slots:
    void keys_data();
    void keys();
    void settersWriteBack();
    void logText();
};

void tst_PassengerType::keys_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<double>("discount");
    QTest::addColumn<int>("ageFrom");
    QTest::addColumn<bool>("isDefault");
    QTest::addColumn<bool>("isActive");
    QTest::newRow("absent") << QByteArray("{}") << 0.0 << 0 << false << false;
    QTest::newRow("numbers") << QByteArray(R"({"discount": 10, "ageFrom": 6, "default": true, "active": true})")
                             << 10.0 << 6 << true << true;
    QTest::newRow("texts") << QByteArray(R"({"discount": "10", "ageFrom": "6", "default": "true", "active": "true"})")
                           << 0.0 << 0 << false << false;
    QTest::newRow("fraction-age") << QByteArray(R"({"ageFrom": 6.5, "discount": 0.25})") << 0.25 << 0 << false << false;
    QTest::newRow("flags-as-numbers") << QByteArray(R"({"default": 1, "active": 1})") << 0.0 << 0 << false << false;
}

void tst_PassengerType::keys()
{
    QFETCH(QByteArray, json);
    QFETCH(double, discount);
    QFETCH(int, ageFrom);
    QFETCH(bool, isDefault);
    QFETCH(bool, isActive);
    const PassengerType type(QJsonDocument::fromJson(json).object());
    QCOMPARE(type.discount(), discount);
    QCOMPARE(type.ageFrom(), ageFrom);
    QCOMPARE(type.isDefault(), isDefault);
    QCOMPARE(type.isActive(), isActive);
}

void tst_PassengerType::settersWriteBack()
{
    PassengerType type;
    type.setCode(QStringLiteral("PT_ADULT"));
    type.setDefault(true);
    type.setDiscount(0.5);
    QCOMPARE(type.code(), QStringLiteral("PT_ADULT"));
    QCOMPARE(type.toJson().value("default"), QJsonValue(true));
    QCOMPARE(type.toJson().value("discount"), QJsonValue(0.5));
}

void tst_PassengerType::logText()
{
    const PassengerType type(QJsonDocument::fromJson(R"({"id": 5, "code": "PT_STUDENT",
        "multiLanguageFieldsMap": {"name": {"en": "Student", "el": "Foititis"}}})").object());
    QCOMPARE(type.toString(), QStringLiteral("[5] PT_STUDENT/Student/Foititis)"));
    const PassengerType bare(QJsonObject{{"id", 5}, {"code", "PT_STUDENT"}});
    QCOMPARE(bare.toString(), QStringLiteral("[5] PT_STUDENT//)"));
}

QTEST_GUILESS_MAIN(tst_PassengerType)
#include "tst_passengertype.moc"
