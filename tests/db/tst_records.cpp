#include "db/device.h"
#include "db/employee.h"
#include "db/emvticketresp.h"
#include "db/scblacklistentry.h"

#include "support/goldenfile.h"

#include <QMetaEnum>

// The records of the database service read from the samples of data/records.json: every
// getter and the log text, pinned in data/records.expected.json (the log date is local time,
// the same digits in every zone); ZUB_WRITE_GOLDEN=1 writes that file.
namespace {

QStringList dump(const QString &record, const QJsonObject &o)
{
    const auto n = [](qint64 v) { return QString::number(v); };
    if (record == "Device") {
        const Device r(o);
        return {n(r.id()), n(r.type()), r.uuid(), r.name(), r.description(), r.status(), n(r.carrierId()),
                n(r.vehicleId()), n(r.userId()), r.pisSerialNumber(), r.toString()};
    }
    if (record == "Employee") {
        const Employee r(o);
        return {n(r.id()), n(r.zId()), r.type(), r.firstname(), r.lastname(), r.email(), r.mobile(), r.toString()};
    }
    if (record == "EMVticketResp")
        return {QJsonDocument(EMVticketResp(o).toJson()).toJson(QJsonDocument::Compact)};
    const SCBlacklistEntry r(o);
    const char *reason = QMetaEnum::fromType<SCBlacklistEntry::BlockReason>().valueToKey(r.blockReason());
    return {n(r.id()), r.uid(), r.timestamp().isValid() ? r.timestamp().toString(Qt::ISODate) : "invalid",
            n(r.deviceId()), n(r.cardStatus()), n(int(r.blockReason())), reason ? reason : "?", n(r.userId()),
            r.toString(), n(r.toJson() == o)};
}

QJsonObject dumpAll(const QString &record, const QJsonValue &samples)
{
    QJsonArray dumps;
    for (const QJsonValue &sample : samples.toArray())
        dumps.append(QJsonArray::fromStringList(dump(record, sample.toObject())));
    return {{"dumps", dumps}};
}

} // namespace

class tst_Records : public QObject
{
    Q_OBJECT
private slots:
    void readsSamples_data()
    {
        GoldenFile::addRows(JsonPath::readFile(TEST_DATA_DIR "/records.json").object(), TEST_DATA_DIR "/records.expected.json", dumpAll);
    }
    void readsSamples()
    {
        QFETCH(QString, name);
        QFETCH(QJsonValue, testCase);
        QFETCH(QJsonObject, expected);
        GOLDEN_COMPARE(dumpAll(name, testCase), expected);
    }
};

QTEST_GUILESS_MAIN(tst_Records)
#include "tst_records.moc"
