#include "rfid/carddate.h"
#include "rfid/cardtime.h"

#include <QtTest>

class tst_CardTime : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Without tzdata an unknown zone silently becomes UTC and the run proves nothing.
        if (qgetenv("TZ") == "America/New_York")
            QCOMPARE(QDateTime(QDate(2024, 1, 15), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
    }

    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: does not parse

        QTest::newRow("card-format") << "2024-03-05T07:08:09Z" << QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9), Qt::UTC);
        // Skipped by the clocks in New York: must still read as the UTC instant.
        QTest::newRow("local-dst-gap") << "2024-03-10T02:30:00Z" << QDateTime(QDate(2024, 3, 10), QTime(2, 30), Qt::UTC);
        QTest::newRow("lower-z") << "2024-03-05T07:08:09z" << QDateTime();
        QTest::newRow("millis") << "2024-03-05T07:08:09.000Z" << QDateTime();
        QTest::newRow("feb-30") << "2023-02-30T07:08:09Z" << QDateTime();
        QTest::newRow("hour-24") << "2024-03-05T24:00:00Z" << QDateTime();
        QTest::newRow("sign") << "-024-03-05T07:08:09Z" << QDateTime();
        QTest::newRow("arabic-digit") << QString::fromUtf8("2024-03-05T07:08:0\u0669Z") << QDateTime();
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const QDateTime parsed = CardTime::parse(text);
        QCOMPARE(parsed.isValid(), expected.isValid());
        if (!expected.isValid())
            return;
        QCOMPARE(parsed, expected);
        QCOMPARE(parsed.timeSpec(), Qt::UTC);
        // Read and written back, a card time keeps its digits.
        QCOMPARE(CardTime::fromJson(text).toJson(), QJsonValue(text));
    }

    void writesUtc()
    {
        // Unset is the same instant in every zone, read from a card or a record's default.
        QCOMPARE(CardTime().value().toMSecsSinceEpoch(), Q_INT64_C(631152000000));
        QCOMPARE(CardTime().value().timeSpec(), Qt::UTC);
        QCOMPARE(CardTime().toJson(), QJsonValue(QStringLiteral("1990-01-01T00:00:00Z")));
        QCOMPARE(CardTime::fromJson(QStringLiteral("1990-01-01T00:00:00Z")).value(), CardTime().value());

        const QDateTime local(QDate(2024, 1, 15), QTime(10, 0), Qt::LocalTime);
        const QString expected = QStringLiteral("2024-01-15T%1:00:00Z").arg(qgetenv("TZ") == "America/New_York" ? 15 : 10);
        QCOMPARE(CardTime(local).toJson(), QJsonValue(expected));
        QCOMPARE(CardTime::format(local), expected);
        const QDateTime offset(QDate(2024, 1, 15), QTime(10, 0), Qt::OffsetFromUTC, 2 * 3600);
        QCOMPARE(CardTime(offset).toJson(), QJsonValue(QStringLiteral("2024-01-15T08:00:00Z")));
        // Milliseconds are not on the wire.
        const QDateTime millis(QDate(2024, 1, 15), QTime(10, 0, 1, 999), Qt::UTC);
        QCOMPARE(CardTime(millis).toJson(), QJsonValue(QStringLiteral("2024-01-15T10:00:01Z")));
    }

    void dates_data()
    {
        QTest::addColumn<QJsonValue>("read");
        QTest::addColumn<QDate>("expected"); // invalid: echoed as read
        QTest::newRow("date") << QJsonValue(QStringLiteral("2031-12-31")) << QDate(2031, 12, 31);
        QTest::newRow("feb-30") << QJsonValue(QStringLiteral("2024-02-30")) << QDate();
        QTest::newRow("time-given") << QJsonValue(QStringLiteral("2024-02-03T00:00:00Z")) << QDate();
        QTest::newRow("number") << QJsonValue(20240203) << QDate();
    }

    void dates()
    {
        QFETCH(QJsonValue, read);
        QFETCH(QDate, expected);
        const CardDate date = CardDate::fromJson(read);
        QCOMPARE(date.value(), expected);
        QCOMPARE(date.toJson(), read);
        QCOMPARE(CardDate().value(), QDate(1990, 1, 1));
        QCOMPARE(CardDate().toJson(), QJsonValue(QStringLiteral("1990-01-01")));
        QCOMPARE(CardDate(QDate()).toJson(), QJsonValue(QString()));
    }
};

QTEST_GUILESS_MAIN(tst_CardTime)
#include "tst_cardtime.moc"
