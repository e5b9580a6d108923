#include "db/device.h"
#include "db/employee.h"
#include "db/emvticketresp.h"
#include "db/scblacklistentry.h"

#include "support/jsonpath.h"

#include <QMetaEnum>
#include <QtTest>

#include <functional>

// The records of the database service read from the samples of data/records.json: every
// getter and the log text, pinned in data/records.expected.json (the log date is local time,
// the same digits in every zone); ZUB_WRITE_GOLDEN=1 writes that file.
namespace {

using Dumper = std::function<QStringList(const QJsonObject &)>;

QString date(const QDateTime &d)
{
    return d.isValid() ? d.toString(Qt::ISODate) : QStringLiteral("invalid");
}

const QMap<QString, Dumper> &dumpers()
{
    static const QMap<QString, Dumper> map = {
        {"Device", [](const QJsonObject &o) {
             const Device r(o);
             return QStringList{QString::number(r.id()), QString::number(r.type()), r.uuid(), r.name(), r.description(),
                                r.status(), QString::number(r.carrierId()), QString::number(r.vehicleId()),
                                QString::number(r.userId()), r.pisSerialNumber(), r.toString()};
         }},
        {"Employee", [](const QJsonObject &o) {
             const Employee r(o);
             return QStringList{QString::number(r.id()), QString::number(r.zId()), r.type(), r.firstname(),
                                r.lastname(), r.email(), r.mobile(), r.toString()};
         }},
        {"EMVticketResp", [](const QJsonObject &o) {
             return QStringList{QString::fromUtf8(QJsonDocument(EMVticketResp(o).toJson()).toJson(QJsonDocument::Compact))};
         }},
        {"SCBlacklistEntry", [](const QJsonObject &o) {
             const SCBlacklistEntry r(o);
             const char *reason = QMetaEnum::fromType<SCBlacklistEntry::BlockReason>().valueToKey(r.blockReason());
             return QStringList{QString::number(r.id()), r.uid(), date(r.timestamp()), QString::number(r.deviceId()),
                                QString::number(r.cardStatus()), QString::number(int(r.blockReason())),
                                QLatin1String(reason ? reason : "?"), QString::number(r.userId()), r.toString(),
                                QString::number(r.toJson() == o)};
         }},
    };
    return map;
}

const QString Samples = QStringLiteral(TEST_DATA_DIR "/records.json");
const QString Expected = QStringLiteral(TEST_DATA_DIR "/records.expected.json");

} // namespace

class tst_Records : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void readsSamples_data();
    void readsSamples();
};

void tst_Records::initTestCase()
{
    if (qgetenv("TZ") == "America/New_York") // without tzdata the zone silently becomes UTC
        QCOMPARE(QDateTime(QDate(2026, 1, 15), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
    if (!qEnvironmentVariableIsSet("ZUB_WRITE_GOLDEN"))
        return;
    const QJsonObject samples = JsonPath::readFile(Samples).object();
    QJsonObject expected;
    for (auto it = samples.begin(); it != samples.end(); ++it) {
        QJsonArray dumps;
        for (const QJsonValue &sample : it.value().toArray())
            dumps.append(QJsonArray::fromStringList(dumpers().value(it.key())(sample.toObject())));
        expected.insert(it.key(), dumps);
    }
    QFile file(Expected);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(expected).toJson());
}

void tst_Records::readsSamples_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<QJsonObject>("sample");
    QTest::addColumn<QJsonArray>("expected");
    const QJsonObject samples = JsonPath::readFile(Samples).object();
    const QJsonObject expected = JsonPath::readFile(Expected).object();
    QVERIFY(!samples.isEmpty());
    for (auto it = samples.begin(); it != samples.end(); ++it) {
        const QJsonArray inputs = it.value().toArray();
        for (int i = 0; i < inputs.size(); ++i) {
            QTest::addRow("%s-%d", qPrintable(it.key()), i)
                << it.key() << inputs.at(i).toObject() << expected.value(it.key()).toArray().at(i).toArray();
        }
    }
}

void tst_Records::readsSamples()
{
    QFETCH(QString, record);
    QFETCH(QJsonObject, sample);
    QFETCH(QJsonArray, expected);
    QCOMPARE(QJsonArray::fromStringList(dumpers().value(record)(sample)), expected);
}

QTEST_GUILESS_MAIN(tst_Records)
#include "tst_records.moc"
