#include "tickets/dynamicqr.h"
#include "tickets/qrticketfactory.h"
#include "tickets/urbanmelva_v1.h"

#include "support/logcapture.h"

#include <QJsonArray>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <limits>

namespace {

QString fields(int count, const QString &value = QStringLiteral("1"))
{
    QStringList f;
    for (int i = 0; i < count; ++i)
        f << value;
    return f.join(QLatin1Char('|'));
}

// Random scanned texts: odd field counts near the real ones, numbers at the edges of
// 32 bits, "%N" runs, non-ASCII, the odd 100 KB field and trailing bars.
class TextFuzzer
{
public:
    explicit TextFuzzer(quint32 seed) : mRandom(seed) {}

    QString text()
    {
        static const int nearCounts[] = {11, 12, 13, 15, 16, 17, 18, 19, 20};
        const int count = mRandom.bounded(2) ? nearCounts[mRandom.bounded(9)] : mRandom.bounded(25);
        QStringList f;
        for (int i = 0; i < count; ++i)
            f << field();
        QString out = f.join(QLatin1Char('|'));
        switch (mRandom.bounded(4)) {
        case 0: out += QLatin1Char('|'); break;
        case 1: out += QLatin1String("||"); break;
        default: break;
        }
        return out;
    }

    QString field()
    {
        static const char *const edges[] = {"-2147483648", "2147483647", "4294967295", "2147483648",
                                            "-2147483649", "4294967296", "-1", "0", "-0", "+5",
                                            " 12 ", "1e3", "0x1F", "true", "DYNAMIC", "PARCEL"};
        switch (mRandom.bounded(8)) {
        case 0:
            return QStringLiteral("%") + QString::number(1 + mRandom.bounded(13));
        case 1:
            return QString::fromLatin1(edges[mRandom.bounded(int(sizeof edges / sizeof *edges))]);
        case 2:
            return QString::number(int(mRandom.generate()));
        case 3:
            return QString();
        case 4:
            if (mRandom.bounded(40) == 0)
                return QString(100 * 1024, mRandom.bounded(2) ? QLatin1Char('9') : QLatin1Char('%'));
            Q_FALLTHROUGH();
        default:
            return garbage();
        }
    }

    QString garbage()
    {
        static const QString alphabet =
            QStringLiteral("abcXYZ0123456789 -+%.$\\\"'{}\t\n") + QString::fromUtf8("é中\xf0\x9f\x9a\x8c");
        QString out;
        const int length = mRandom.bounded(24);
        for (int i = 0; i < length; ++i)
            out += alphabet.at(mRandom.bounded(alphabet.size()));
        return out;
    }

    QJsonValue jsonValue()
    {
        switch (mRandom.bounded(9)) {
        case 0: return double(std::numeric_limits<int>::min());
        case 1: return double(std::numeric_limits<int>::max());
        case 2: return double(std::numeric_limits<uint>::max());
        case 3: return mRandom.bounded(2) ? 1e300 : -0.5;
        case 4: return int(mRandom.generate());
        case 5: return field();
        case 6: return QJsonValue(QJsonValue::Null);
        case 7: return bool(mRandom.bounded(2));
        default: return mRandom.bounded(2) ? QJsonValue(QJsonArray{1, "x"}) : QJsonValue(QJsonObject{{"a", 1}});
        }
    }

    QJsonObject object()
    {
        static const char *const keys[] = {"routeId", "driverId", "deviceUuid", "ticketId",
                                           "lifeSpan", "carrierId", "validityStartDate", "other"};
        QJsonObject o;
        const int count = mRandom.bounded(9);
        for (int i = 0; i < count; ++i)
            o.insert(QLatin1String(keys[mRandom.bounded(8)]), jsonValue());
        return o;
    }

private:
    QRandomGenerator mRandom;
};

int fieldCount(const QString &text)
{
    QString copy = text;
    if (copy.endsWith(QLatin1Char('|')))
        copy.chop(1);
    return copy.count(QLatin1Char('|')) + 1;
}

// Reads everything a validator or a log line could read; returns the dump.
QString readAll(const UrbanMelva_v1 &t)
{
    (void)t.isEmpty(); (void)t.id(); (void)t.toSerialized(); (void)t.axisId(); (void)t.userId();
    (void)t.deviceUuid(); (void)t.reservationCode(); (void)t.fromStopGroupId();
    (void)t.toStopGroupId(); (void)t.issueDateTime(); (void)t.expiryDate(); (void)t.hasExpiryDate();
    (void)t.routeExecutionId(); (void)t.fareProductId(); (void)t.seatNumber(); (void)t.openTicket();
    (void)t.ticketType(); (void)t.parcelId(); (void)t.passengerTypeId();
    (void)t.validityStartDateIsNull(); (void)t.validityStartDate(); (void)t.lifeSpan();
    (void)t.carrierId(); (void)t.toJson();
    return t.toString();
}

QString readAll(const DynamicQr &t)
{
    (void)t.isEmpty(); (void)t.id(); (void)t.toSerialized(); (void)t.axisId(); (void)t.userId();
    (void)t.deviceUuid(); (void)t.issueDateTime(); (void)t.routeExecutionId(); (void)t.fareProductId();
    (void)t.ticketType(); (void)t.passengerTypeId(); (void)t.validityStartDateIsNull();
    (void)t.validityStartDate(); (void)t.lifeSpan(); (void)t.carrierId(); (void)t.tickCount();
    (void)t.tickInterval(); (void)t.uid(); (void)t.toJson();
    const int left = t.remainingSec();
    if (left < 0)
        return QStringLiteral("negative remainingSec");
    return t.toString();
}

} // namespace

class tst_QrTicketFactory : public QObject
{
    Q_OBJECT
private slots:
    void create_data();
    void create();
    void survivesRandomTexts_data();
    void survivesRandomTexts();
    void survivesRandomObjects();
};

void tst_QrTicketFactory::create_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("type"); // empty for no ticket
    QTest::addColumn<QString>("serialized");
    QTest::newRow("empty") << QString() << QString() << QString();
    QTest::newRow("bar-only") << QStringLiteral("|") << QString() << QString();
    QTest::newRow("two-bars") << QStringLiteral("||") << QString() << QString();
    QTest::newRow("twelve") << fields(12) << "DynamicQr" << fields(12);
    QTest::newRow("twelve-trailing-bar") << fields(12) + "|" << "DynamicQr" << fields(12);
    QTest::newRow("twelve-two-bars") << fields(12) + "||" << QString() << QString();
    QTest::newRow("twelve-bars-only") << QString(12, QLatin1Char('|')) << "DynamicQr" << QString(11, QLatin1Char('|'));
    QTest::newRow("sixteen") << fields(16) << "UrbanMelva_v1" << fields(16);
    QTest::newRow("sixteen-trailing-bar") << fields(16) + "|" << "UrbanMelva_v1" << fields(16);
    QTest::newRow("sixteen-two-bars") << fields(16) + "||" << QString() << QString();
    QTest::newRow("sixteen-letters") << fields(16, "abc") << "UrbanMelva_v1" << fields(16, "abc");
    QTest::newRow("nineteen") << fields(19) << "UrbanMelva_v1" << fields(19);
    QTest::newRow("nineteen-trailing-bar") << fields(19) + "|" << "UrbanMelva_v1" << fields(19);
    // The factory looks at the count only: the format then refuses the content.
    QTest::newRow("nineteen-minus-one") << fields(19, "-1") << "UrbanMelva_v1" << fields(19, "-1");
    QTest::newRow("twelve-minus-one") << fields(12, "-1") << "DynamicQr" << fields(12, "-1");
    for (int n : {1, 2, 11, 13, 14, 15, 17, 18, 20, 21})
        QTest::addRow("count-%d", n) << fields(n) << QString() << QString();
}

void tst_QrTicketFactory::create()
{
    QFETCH(QString, text);
    QFETCH(QString, type);
    QFETCH(QString, serialized);
    LogCapture log;
    const QrTicketFactory factory;
    const std::shared_ptr<QrTicket> ticket = factory.create(text);
    QVERIFY(log.texts().isEmpty());
    if (type.isEmpty()) {
        QVERIFY(!ticket);
        return;
    }
    QVERIFY(ticket);
    QCOMPARE(ticket->getQrType(), type);
    if (auto urban = std::dynamic_pointer_cast<UrbanMelva_v1>(ticket)) {
        QCOMPARE(urban->toSerialized(), serialized);
        if (text.startsWith(QLatin1String("abc")))
            QCOMPARE(urban->axisId(), 0);
    } else {
        auto dynamic = std::dynamic_pointer_cast<DynamicQr>(ticket);
        QVERIFY(dynamic);
        QCOMPARE(dynamic->toSerialized(), serialized);
    }
}

void tst_QrTicketFactory::survivesRandomTexts_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 20240607u, 0xdeadbeefu})
        QTest::addRow("seed-%u", seed) << seed;
}

void tst_QrTicketFactory::survivesRandomTexts()
{
    QFETCH(quint32, seed);
    const QRegularExpression dynamicWarning(
        QStringLiteral("^\\[qr/DynamicQr\\] Ticket length \\(\\d+\\) is not valid\\.$"));
    const QString urbanWarning = QStringLiteral("[qr/UrbanMelva_v1]  Ticket does not have  19  or 16 fields");
    const QrTicketFactory factory;
    TextFuzzer fuzz(seed);
    LogCapture log;
    for (int i = 0; i < 1500; ++i) {
        const QString text = fuzz.text();
        const QString where = QStringLiteral("text %1 of seed %2").arg(i).arg(seed);
        try {
            const std::shared_ptr<QrTicket> ticket = factory.create(text);
            const int count = fieldCount(text);
            const QString expectedType = text.isEmpty() ? QString()
                : count == 12                           ? QStringLiteral("DynamicQr")
                : (count == 16 || count == 19)          ? QStringLiteral("UrbanMelva_v1")
                                                        : QString();
            QVERIFY2((ticket ? ticket->getQrType() : QString()) == expectedType, qPrintable(where));
            if (ticket)
                (void)ticket->toString();

            const UrbanMelva_v1 urban(text);
            const QString urbanDump = readAll(urban);
            if (!urban.isEmpty()) {
                QVERIFY2(urbanDump.contains("\nDevice id           : " + urban.deviceUuid() + "\n"),
                         qPrintable(where));
                QVERIFY2(urbanDump.contains("\nTicket type         : " + urban.ticketType() + "\n"),
                         qPrintable(where));
            }

            const DynamicQr dynamic(text);
            const QString dynamicDump = readAll(dynamic);
            if (!dynamic.isEmpty()) {
                QVERIFY2(dynamicDump.startsWith("\nTicket type         : " + dynamic.ticketType() + "\n"),
                         qPrintable(where));
                QVERIFY2(dynamic.uid().contains(dynamic.deviceUuid()), qPrintable(where));
                QVERIFY2(dynamicDump.endsWith("\nTicket UUID         : " + dynamic.uid() + "\n"),
                         qPrintable(where));
            }
        } catch (...) {
            QFAIL(qPrintable("exception escaped on " + where));
        }
    }
    for (const QString &line : log.texts())
        QVERIFY2(line == urbanWarning || dynamicWarning.match(line).hasMatch(), qPrintable(line));
}

void tst_QrTicketFactory::survivesRandomObjects()
{
    TextFuzzer fuzz(7);
    LogCapture log;
    for (int i = 0; i < 1500; ++i) {
        const QJsonObject object = fuzz.object();
        try {
            const UrbanMelva_v1 urban(object);
            const DynamicQr dynamic(object);
            QCOMPARE(urban.isEmpty(), object.isEmpty());
            QCOMPARE(dynamic.isEmpty(), object.isEmpty());
            (void)readAll(urban);
            QVERIFY(readAll(dynamic) != QLatin1String("negative remainingSec"));
        } catch (...) {
            QFAIL(qPrintable(QStringLiteral("exception escaped on object %1").arg(i)));
        }
    }
    QVERIFY2(log.texts().isEmpty(), qPrintable(log.texts().join('\n')));
}

QTEST_GUILESS_MAIN(tst_QrTicketFactory)
#include "tst_qrticketfactory.moc"
