#include "app/metatypes.h"
#include "app/zub_p.h"
#include "db/device.h"
#include "db/employee.h"
#include "db/emvticketresp.h"
#include "db/scblacklistentry.h"
#include "framework/settings.h"
#include "tarvik/fareproducts.h"
#include "tarvik/route.h"
#include "tickets/qrticket.h"

#include "support/brokerfixture.h"
#include "support/childprocess.h"
#include "support/jsonpath.h"
#include "support/mqttpeer.h"
#include "support/qrscannerpeer.h"
#include "support/qrtestkey.h"
#include "support/testenv.h"

#include <QtTest>

#include <memory>

namespace {

QJsonObject json(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object();
}

// An urban ticket of carrier 7 for axis 6, zones 2 to 3, product 5, passenger type 1, issued an
// hour ago and valid from ten minutes ago for an hour; as printed.
QString urbanTicket()
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QString plain = QStringLiteral("6|1234|A1|R1|2|3|%1|99|0|0|false|PASSENGER|0|5|1|0|%2|3600|7");
    return QrTestKey::encipher(QrTestKey::pad(plain.arg(now - 3600).arg(now - 600).toLatin1()));
}

} // namespace

// The whole device: zub (built with the tests' QR key) on a real broker with peers playing
// the card reader and the QR scanner; and the controller in-process, given a route.
class tst_Device : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerMetaTypes();
        QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
        QVERIFY(mPeer.connectTo(mBroker.host(), mBroker.port()) && mPeer.subscribe("#"));
        QVERIFY(mScanner.connectTo(mBroker.host(), mBroker.port()));
        QVERIFY(QFile::copy(QStringLiteral(ZUB_PATH), mEnv.filePath("zub")));
        QVERIFY(mEnv.writeFile("zub.conf", settings("child").toUtf8()));
        mZub = std::make_unique<ChildProcess>(mEnv.filePath("zub"), QStringList{"-e"}, mEnv.path());
        QVERIFY2(mZub->start() && mPeer.waitForMessages("zeto/zub/config", 1, 15000), qPrintable(mZub->describe()));
    }
    void cleanupTestCase() { mZub.reset(); }

    // The names the signals of the gateway, the OBU link and the validation service write: a
    // queued connection finds its argument types by these names.
    void metaTypesRegisteredUnderTheirNames()
    {
        const QList<QPair<const char *, int>> types{
            {"tarvik_route_ptr", qMetaTypeId<std::shared_ptr<tarvik::Route>>()},
            {"qrticket_ptr", qMetaTypeId<std::shared_ptr<QrTicket>>()},
            {"SCBlacklistEntry::Ptr", qMetaTypeId<SCBlacklistEntry::Ptr>()},
            {"EMVticketResp::Ptr", qMetaTypeId<EMVticketResp::Ptr>()},
            {"Employee::Ptr", qMetaTypeId<Employee::Ptr>()},
            {"Device::Ptr", qMetaTypeId<Device::Ptr>()},
        };
        for (const auto &type : types)
            QVERIFY2(QMetaType::type(type.first) == type.second, type.first);
    }

    // The clients drop an enable sent before their service reports: zub waits for the reports.
    void readersSwitchOnWhenTheirServicesReport()
    {
        QCOMPARE(mPeer.count("zeto/rfid/enable/request/0") + mScanner.commands().count("enable"), 0);

        mPeer.publish("zeto/rfid/status", R"({"service":true,"device":{"state":1,"active":true,"sams":[1]}})");
        QVERIFY2(mPeer.waitForMessages("zeto/rfid/enable/request/0"), qPrintable(mZub->describe()));
        QCOMPARE(json(mPeer.messages("zeto/rfid/enable/request/0").constFirst().payload), QJsonObject({{"autoread", true}}));
        mPeer.publish("zeto/rfid/enable/response/0", R"({"completed":true})");

        mScanner.publishStatus(true, true, false);
        QVERIFY(QTest::qWaitFor([&] { return mScanner.commands().contains("enable"); }, 5000));

        // Both readers up: start-up is over; no route runs in this build.
        QTRY_COMPARE_WITH_TIMEOUT(json(mPeer.messages("zeto/zub/status").constLast().payload),
                                  QJsonObject({{"service", true}, {"state", "out-of-service"}, {"reason", "no route"}}), 5000);
    }

    // No fare rules for cards: the verdict is "Unknown", shown with the invalid lights.
    void tapGivesLightsAndVerdict()
    {
        const int leds = mPeer.count("zeto/rfid/led/set/request/1");
        QVERIFY(tap());
        QVERIFY2(mPeer.waitForMessages("zeto/zub/rfid/scanned"), qPrintable(mZub->describe()));
        const QJsonObject result = json(mPeer.messages("zeto/zub/rfid/scanned").constLast().payload);
        QCOMPARE(result["result"].toBool(true), false);
        QCOMPARE(result["denyReason"].toObject(), QJsonObject({{"code", 500}, {"text", "Unknown"}}));
        QCOMPARE(result["template"].toString(), QStringLiteral("ZetoDESv3"));
        QVERIFY(mPeer.waitForMessages("zeto/rfid/led/set/request/1", leds + 1));
        QCOMPARE(json(mPeer.messages("zeto/rfid/led/set/request/1").constLast().payload), QJsonObject({{"red", true}}));
    }

    // Without a route every ticket is refused as of invalid format.
    void scanGivesVerdict()
    {
        QVERIFY(mScanner.scan(urbanTicket()));
        QVERIFY2(mPeer.waitForMessages("zeto/zub/barcode/scanned"), qPrintable(mZub->describe()));
        const QJsonObject result = json(mPeer.messages("zeto/zub/barcode/scanned").constLast().payload);
        QCOMPARE(result["denyReason"].toObject()["code"].toInt(), 100);
        QCOMPARE(result["transactionType"].toInt(-1), 0);
    }

    void inspectionModeTurnsTapsIntoInspections()
    {
        const int configs = mPeer.count("zeto/zub/config");
        mPeer.publish("zeto/zub/config/set", R"({"zub":{"inspection_mode":true}})");
        QVERIFY(mPeer.waitForMessages("zeto/zub/config", configs + 1));
        QVERIFY(mZub->waitForErrorPart("[ZUB] Inspection mode on"));

        const int verdicts = mPeer.count("zeto/zub/rfid/scanned");
        QVERIFY(tap());
        QVERIFY2(mPeer.waitForMessages("zeto/zub/card/inspected"), qPrintable(mZub->describe()));
        const QJsonObject result = json(mPeer.messages("zeto/zub/card/inspected").constLast().payload);
        QVERIFY(result.contains("transType") && result.contains("periodPass"));
        QCOMPARE(mPeer.count("zeto/zub/rfid/scanned"), verdicts);

        mPeer.publish("zeto/zub/config/set", R"({"zub":{"inspection_mode":false}})");
        QVERIFY(mZub->waitForErrorPart("[ZUB] Inspection mode off"));
    }

    // In-process, the way the vehicle link will: a route handed to the validation service makes
    // a ticket of that route valid.
    void validTicketOnARoute()
    {
        mZub.reset(); // one device at a time on the reader's topics
        QVERIFY(mEnv.writeFile("inprocess.conf", settings("inprocess").toUtf8()));
        manager::Settings::instance()->setDefaultLocation(QFileInfo(mEnv.filePath("inprocess.conf")));
        ZUBPrivate zub;
        zub.connectSignals();
        zub.connectBrokers();
        // Once the scanner's report has come through, so do its scans.
        QVERIFY(QTest::qWaitFor([&] { return mScanner.publishStatus(true, true, true) && QTest::qWaitFor([&] { return zub.state().qr; }, 200); }, 10000));

        // Axis 6 of carrier 7, zones 2 (stop 21) and 3 (stop 31), product 5 for adults in zone 2.
        const QJsonObject data = JsonPath::readFile(TEST_DATA_DIR "/route.json").object();
        tarvik::Route route(data["route"].toObject());
        route.setCarrierId(7);
        route.setFareProducts(tarvik::FareProducts(data["fareProducts"].toObject()));
        QVERIFY(route.acceptRouteProgress(tarvik::RouteProgress(6, 21)));
        zub.validator().routeStarted(route);

        const int verdicts = mPeer.count("zeto/zub/barcode/scanned");
        QVERIFY(mScanner.scan(urbanTicket()));
        QVERIFY(mPeer.waitForMessages("zeto/zub/barcode/scanned", verdicts + 1));
        const QJsonObject result = json(mPeer.messages("zeto/zub/barcode/scanned").constLast().payload);
        QCOMPARE(result["denyReason"].toObject()["code"].toInt(-1), 0);
        QCOMPARE(result["result"].toBool(), true);
        QCOMPARE(result["routeInfo"].toObject()["axisId"].toInt(), 6);
    }

private:
    // Taps the sample DES v3 card on the reader.
    bool tap()
    {
        QFile file(QStringLiteral(CARDS_DIR "/desv3.json"));
        const QByteArray card = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const QJsonObject found{{"uid", json(card)["uid"]}, {"type", json(card)["type"]}};
        return mPeer.publish("zeto/rfid/card/found", QJsonDocument(found).toJson()) >= 0
            && mPeer.publish("zeto/rfid/card/autoread", card) >= 0;
    }

    QString settings(const QString &clientId) const
    {
        const QString port = QString::number(mBroker.port());
        return QStringLiteral("[log]\nsyslog=false\n[zub]\nport=%1\nobu_port=%1\nclient_id=%2\nobu_client_id=%2-obu\n"
                              "[validator]\nqr_passback=false\n")
            .arg(port, clientId);
    }

    BrokerFixture mBroker;
    TestEnv mEnv;
    MqttPeer mPeer{QStringLiteral("reader")};
    QrScannerPeer mScanner;
    std::unique_ptr<ChildProcess> mZub;
};

QTEST_GUILESS_MAIN(tst_Device)
#include "tst_device.moc"
