#include "tickets/dynamicqr.h"
#include "tickets/qrticketfactory.h"
#include "tickets/urbanmelva_v1.h"

#include "support/goldenfile.h"
#include "support/logcapture.h"

#include <QtTest>

// Scanned texts and the database service's ticket objects of data/samples.json, read by the
// factory and the two formats: every getter, the log text, the JSON form read back and the
// warnings logged, pinned in data/samples[.west].expected.json (dates are shown in local
// time).
namespace {

QString date(const QDateTime &d)
{
    return d.isValid() ? d.toString(Qt::ISODate) : QStringLiteral("invalid");
}

// Every getter of both formats, and the JSON form read back.
template <typename Ticket>
QJsonObject dump(const Ticket &t, const QJsonObject &own)
{
    QJsonObject o{{"type", t.getQrType()}, {"empty", t.isEmpty()}, {"id", t.id()}, {"serialized", t.toSerialized()},
                  {"axisId", t.axisId()}, {"userId", t.userId()}, {"deviceUuid", t.deviceUuid()},
                  {"issueTimestamp", t.issueTimestamp()}, {"issueDateTime", date(t.issueDateTime())},
                  {"routeExecutionId", t.routeExecutionId()}, {"fareProductId", t.fareProductId()},
                  {"ticketType", t.ticketType()}, {"passengerTypeId", t.passengerTypeId()},
                  {"validityStart", date(t.validityStartDate())}, {"startIsNull", t.validityStartDateIsNull()},
                  {"lifeSpan", t.lifeSpan()}, {"carrierId", t.carrierId()}, {"text", t.toString()},
                  {"json", t.toJson()}, {"jsonReadBack", Ticket(t.toJson()).toJson() == t.toJson()}};
    for (auto it = own.begin(); it != own.end(); ++it)
        o.insert(it.key(), it.value());
    return o;
}

QJsonObject dump(const QrTicket *ticket)
{
    if (const auto *u = dynamic_cast<const UrbanMelva_v1 *>(ticket))
        return dump(*u, {{"reservationCode", u->reservationCode()},
                         {"zones", QStringLiteral("%1-%2").arg(u->fromStopGroupId()).arg(u->toStopGroupId())},
                         {"expiry", u->hasExpiryDate() ? u->expiryDate().toString(Qt::ISODate) : QStringLiteral("none")},
                         {"seatNumber", u->seatNumber()}, {"openTicket", u->openTicket()}, {"parcelId", u->parcelId()}});
    if (const auto *d = dynamic_cast<const DynamicQr *>(ticket))
        return dump(*d, {{"ticks", QStringLiteral("%1x%2").arg(d->tickCount()).arg(d->tickInterval())}, {"uid", d->uid()}});
    return {{"type", "none"}};
}

// A text goes through the factory; an object, named "urban-..." or "dynamic-...", to its format.
QJsonObject read(const QString &name, const QJsonValue &sample)
{
    LogCapture log;
    QJsonObject o;
    if (sample.isString()) {
        o = dump(QrTicketFactory().create(sample.toString()).get());
        // Each format on its own reads any text, and warns when the count is not its own.
        o.insert("asUrban", UrbanMelva_v1(sample.toString()).isEmpty());
        o.insert("asDynamic", DynamicQr(sample.toString()).isEmpty());
    } else {
        const std::unique_ptr<QrTicket> ticket(name.startsWith(QLatin1String("dynamic-")) ? static_cast<QrTicket *>(new DynamicQr(sample.toObject()))
                                                                                           : new UrbanMelva_v1(sample.toObject()));
        o = dump(ticket.get());
    }
    o.insert("log", QJsonArray::fromStringList(log.texts()));
    return o;
}

} // namespace

class tst_QrTickets : public QObject
{
    Q_OBJECT
private slots:
    void readsSamples_data()
    {
        GoldenFile::addRows(JsonPath::readFile(TEST_DATA_DIR "/samples.json").object(), GoldenFile::path(TEST_DATA_DIR "/samples"), read);
    }
    void readsSamples()
    {
        QFETCH(QString, name);
        QFETCH(QJsonValue, testCase);
        QFETCH(QJsonObject, expected);
        GOLDEN_COMPARE(read(name, testCase), expected);
    }
    void remainingSecondsCountFromNow_data()
    {
        // "now+N" / "now-N" are seconds from the current second, resolved when the row runs.
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("lifeSpan");
        QTest::addColumn<int>("atLeast");
        QTest::addColumn<int>("atMost");
        QTest::newRow("ahead-100-life-60") << "now+100" << "60" << 159 << 160;
        QTest::newRow("ended") << "now-100" << "60" << 0 << 0;
        QTest::newRow("life-negative-ahead") << "now+100" << "-5" << 0 << 0;
        QTest::newRow("life-int-max") << "now" << "2147483647" << INT_MAX - 1 << INT_MAX;
        // The start reads unsigned: -2 is in 2106, further away than INT_MAX seconds.
        QTest::newRow("start-2106-life-one") << "-2" << "1" << INT_MAX << INT_MAX;
    }

    void remainingSecondsCountFromNow()
    {
        QFETCH(QString, start);
        QFETCH(QString, lifeSpan);
        QFETCH(int, atLeast);
        QFETCH(int, atMost);
        if (start.startsWith(QLatin1String("now")))
            start = QString::number(QDateTime::currentSecsSinceEpoch() + start.mid(3).toLongLong());
        const DynamicQr t(QStringLiteral("DYNAMIC|1234|AB|1700000000|42|41|2|%1|%2|7|30|120").arg(start, lifeSpan));
        QVERIFY(!t.isEmpty());
        QVERIFY2(t.remainingSec() >= atLeast && t.remainingSec() <= atMost, qPrintable(QString::number(t.remainingSec())));
    }
};

QTEST_GUILESS_MAIN(tst_QrTickets)
#include "tst_qrtickets.moc"
