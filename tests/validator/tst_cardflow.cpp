#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "rfid/rfidcard.h"
#include "support/dbservicepeer.h"
#include "support/harness.h"
#include "support/jsonpath.h"
#include "support/logcapture.h"
#include "tarvik/actionlistmanager.h"
#include "tarvik/actionrecordlist.h"
#include "validator/results/rfidvalidator.h"
#include "validator/results/rfidvalidatorfactory.h"
#include "validator/results/ticketdb.h"
#include "validator/validator.h"

#include <QJsonDocument>
#include <QtTest>

#include <memory>
#include <stdexcept>

namespace {

const QString kRfid = QStringLiteral("zeto/rfid/");
const QString kBlock = QStringLiteral("test/smartcard/block");
const QString kDbRequest = QStringLiteral("zeto/db/request");
const QString kMark = QStringLiteral("test/mark");

// Gives the verdict a row asks for, in words: "valid", "write", "deny=N", "block=N", "action",
// "employee", "throw".
class ScriptedValidator : public RfidValidator
{
public:
    ScriptedValidator(DBManager &db, QStringList words) : RfidValidator(db), mWords(std::move(words)) {}

    bool validate(RfidCard *card, std::shared_ptr<tarvik::Route>, TicketDb &) override
    {
        if (mWords.contains("throw"))
            throw std::runtime_error("rule table broken");
        mResult.reset();
        mResult.setResult(mWords.contains("valid"));
        mResult.setShouldWriteBack(mWords.contains("write"));
        mResult.setDenyReason(ValidatorResult::DenyReason(number("deny=")));
        mResult.setBlockReason(number("block="));
        if (mWords.contains("action")) {
            auto record = tarvik::ActionRecord::Ptr::create();
            record->setAction(tarvik::Action::Ptr::create(QJsonObject{{"id", 7}}));
            record->setSmartCardUid(card->getUid());
            mResult.setActionRecord(record);
        }
        if (mWords.contains("employee")) {
            mResult.setDenyReason(ValidatorResult::EmployeeCard);
            emit foundEmployeeCard(card->getUid(), 42);
        }
        return mResult.getResult();
    }

private:
    int number(const QString &key) const { return mWords.filter(QRegularExpression('^' + key)).value(0).mid(key.size()).toInt(); }
    QStringList mWords;
};

QVariantMap sample(const QString &name) { return JsonPath::readFile(CARDS_DIR "/" + name + ".json").object().toVariantMap(); }
QByteArray json(const QVariantMap &map) { return QJsonDocument::fromVariant(map).toJson(QJsonDocument::Compact); }

} // namespace

// The card road of the validation service on a private broker, with a reader peer (answering
// write requests when a row says so) and a database service peer.
class tst_CardFlow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup() { mRig.reset(); RfidValidatorFactory::setTestCreator(nullptr); }
    void tapSendsLedsWritesAndVerdictsInOrder_data();
    void tapSendsLedsWritesAndVerdictsInOrder();

private:
    void step(const QString &step);
    QList<MqttPeer::Message> requests(const QString &kind) const;
    QStringList timeline() const;

    // What a row starts, torn down in reverse order.
    struct Rig
    {
        TestEnv env;
        MqttPeer reader;
        DbServicePeer dbPeer;
        manager::MqttClient client;
        std::unique_ptr<DBManager> db;
        std::unique_ptr<Validator> validator;
        LogCapture log;
        int answers = 0; // write requests answered
    };

    BrokerFixture mBroker;
    std::unique_ptr<Rig> mRig;
};

void tst_CardFlow::initTestCase()
{
    qRegisterMetaType<ValidatorResult>("ValidatorResult"); // as the program does at start
    QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
}

void tst_CardFlow::init()
{
    mRig = std::make_unique<Rig>();
    QVERIFY(Harness::useSettings(mRig->env));
    // "nobasket": a validator without a sales basket; "dbsilent": a database service that never
    // answers, waited for a short while.
    QFETCH(QJsonObject, row);
    const QStringList words = row["verdict"].toString().split(',', Qt::SkipEmptyParts);
    // A back-end that refuses at once: the action list exists, its reports fail.
    QVERIFY(Configuration().setMultipleSettings({{"db/timeout_ms", words.contains("dbsilent") ? 300 : 5000},
        {"db/pub_sc_block", kBlock}, {"validator/db_name", mRig->env.filePath("tickets.sqlite")}, {"tarvik/enabled", true},
        {"tarvik/url", "http://127.0.0.1:1/api"}, {"tarvik/storagePath", mRig->env.filePath("tarvik")}}));

    QVERIFY(mRig->reader.connectTo(mBroker.host(), mBroker.port()) && mRig->reader.subscribe(kRfid + "#"));
    QVERIFY(mRig->dbPeer.connectTo(mBroker.host(), mBroker.port()) && mRig->dbPeer.listen(kBlock));
    mRig->dbPeer.setScript([this, silent = words.contains("dbsilent")](const QJsonObject &request) {
        if (!silent)
            mRig->dbPeer.reply(request, DbServicePeer::answer(request.value("method").toString(), {}));
    });

    // The service with the row's test validator, set before the validation thread starts; none
    // falls through to the validators of the build.
    Configuration().set(QStringLiteral("validator/restore_corrupted_luc"), !words.contains("norestore"));
    mRig->client.setClientId(QStringLiteral("zub-cardflow-") + QTest::currentDataTag());
    mRig->db = std::make_unique<DBManager>(&mRig->client);
    mRig->db->initialize();
    RfidValidatorFactory::setTestCreator([db = mRig->db.get(), words](const QString &) {
        const bool none = words.isEmpty() || words == QStringList{"norestore"};
        return none ? nullptr : std::shared_ptr<RfidValidator>(std::make_shared<ScriptedValidator>(*db, words));
    });
    auto basket = std::make_shared<Basket>();
    basket->setPreviousTickets({{2, {QStringLiteral("T2")}}, {1, {QStringLiteral("T1")}}});
    mRig->validator =
        std::make_unique<Validator>(&mRig->client, *mRig->db, words.contains("nobasket") ? nullptr : basket, nullptr);

    // Each signal of the service is marked through the service's own client, so the reader peer
    // gets the marks in order with what the service sends.
    const auto mark = [this](const QString &name) { mRig->client.publish(name.toUtf8(), kMark.toUtf8()); };
    using Signal = void (Validator::*)();
    for (const auto &[signal, name] : {std::pair<Signal, QString>(&Validator::cardTransactionStarted, "started"),
                                       {&Validator::cardTransactionError, "error"}, {&Validator::emvValidationProgress, "emvProgress"}})
        connect(mRig->validator.get(), signal, this, [mark, name = name] { mark(name); });
    connect(mRig->validator.get(), &Validator::foundEmployeeCard, this, [mark] { mark("employee"); });
    connect(mRig->validator.get(), &Validator::validatedCard, this,
            [mark](const ValidatorResult &r) { mark("card:" + QString::number(r.getDenyReason())); });
    connect(mRig->validator.get(), &Validator::validatedEMVcard, this,
            [mark](const ValidatorResult &r) { mark("emv:" + QString::number(r.getDenyReason())); });
    for (const QString &filter : {kBlock, kDbRequest, kMark})
        QVERIFY(mRig->reader.subscribe(filter));
    QVERIFY(Harness::connect(mRig->client, mBroker));
    mRig->reader.clear();
    mRig->log.clear();
}

// "found:S[:type]", "read:S[:template]", "readbroken:S", "readfail:S:code", "readanswer:S" (S a
// card sample), "error:code", and "answer:ok[:uid]" or "answer:fail:code" to the next write.
void tst_CardFlow::step(const QString &step)
{
    const QStringList p = step.split(':');
    QVariantMap card = p[0] == "answer" || p[0] == "error" ? QVariantMap() : sample(p.at(1));
    if (p[0] == "found") {
        const QVariant type = p.size() > 2 ? QVariant(p.at(2).toInt()) : card["type"];
        mRig->reader.publish(kRfid + "card/found", json({{"type", type}, {"uid", card["uid"]}}));
    } else if (p[0] == "read") {
        card["template"] = p.value(2, card["template"].toString());
        mRig->reader.publish(kRfid + "card/autoread", json(card));
    } else if (p[0] == "readbroken" || p[0] == "readfail") {
        card.remove("data");
        if (p[0] == "readfail")
            card["error"] = QVariantMap{{"code", p.at(2).toInt()}, {"command", "read"}, {"what", "auth failed"}};
        mRig->reader.publish(kRfid + "card/autoread", json(card));
    } else if (p[0] == "readanswer") {
        mRig->reader.publish(kRfid + "card/read/response/0", json({{"completed", true}, {"data", card}}));
    } else if (p[0] == "error") {
        mRig->reader.publish(kRfid + "error", json({{"code", p.at(1).toInt()}, {"what", "field lost"}}));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(requests("card/write/").size() > mRig->answers, 5000);
        const MqttPeer::Message request = requests("card/write/").at(mRig->answers++);
        const QVariantMap written = QJsonDocument::fromJson(request.payload).object().toVariantMap();
        const bool ok = p.at(1) == "ok";
        QVariantMap answer{{"completed", ok},
                           {"data", QVariantMap{{"template", written["template"]},
                                                {"uid", ok ? p.value(2, written["uid"].toString()) : written["uid"]}}}};
        if (!ok)
            answer["error"] = QVariantMap{{"code", p.at(2).toInt()}, {"what", "card removed"}};
        mRig->reader.publish(kRfid + "card/write/response/" + request.topic.section('/', -1), json(answer));
    }
}

QList<MqttPeer::Message> tst_CardFlow::requests(const QString &kind) const
{
    QList<MqttPeer::Message> out = mRig->reader.messages();
    out.erase(std::remove_if(out.begin(), out.end(), [&](const auto &m) { return !m.topic.startsWith(kRfid + kind + "request/"); }),
              out.end());
    return out;
}

// The service's signals and what its client sent, in the order the reader peer got them.
QStringList tst_CardFlow::timeline() const
{
    QStringList out;
    for (const MqttPeer::Message &m : mRig->reader.messages()) {
        const QJsonObject body = QJsonDocument::fromJson(m.payload).object();
        if (m.topic == kMark) {
            out << QString::fromUtf8(m.payload);
        } else if (m.topic.startsWith(kRfid + "led/set/request/")) {
            out << (m.payload == R"({"blue":true,"green":true,"yellow":true})" ? "led:valid"
                    : m.payload == R"({"red":true})"                          ? "led:invalid"
                                                                                : "led:" + m.payload);
        } else if (m.topic.startsWith(kRfid + "card/write/request/")) {
            out << "write";
        } else if (m.topic == kBlock) {
            out << QStringLiteral("block:%1:%2:%3").arg(body["uid"].toString()).arg(body["reason"].toInt()).arg(body["status"].toInt());
        } else if (m.topic == kDbRequest && body["method"] == "storeEMVResult") {
            out << "store:" + QString::fromUtf8(QJsonDocument(body["params"].toArray()).toJson(QJsonDocument::Compact));
        }
    }
    return out;
}

// One row a road, from data/cardroads.json: the verdict, the steps, the timeline expected, and
// parts of "[validator] " lines that must be there ("logs"; with "!", parts of any line that must not).
void tst_CardFlow::tapSendsLedsWritesAndVerdictsInOrder_data()
{
    QTest::addColumn<QJsonObject>("row");
    for (const QJsonValue &row : JsonPath::readFile(TEST_DATA_DIR "/cardroads.json").array())
        QTest::newRow(qPrintable(row["row"].toString())) << row.toObject();
}

void tst_CardFlow::tapSendsLedsWritesAndVerdictsInOrder()
{
    QFETCH(QJsonObject, row);
    const QString expected = row["timeline"].toString();
    const QStringList logs = row["logs"].toVariant().toStringList();
    for (const QString &s : row["steps"].toString().split(' ', Qt::SkipEmptyParts)) {
        step(s);
        if (QTest::currentTestFailed())
            return;
    }
    // The gateway's wait for the EMV results runs the validation thread's events: the fence
    // must not overtake it.
    const QRegularExpression stored("^\\[validator\\] (DB Response: |DBmanager returned null)");
    QTRY_COMPARE(mRig->log.texts().filter(stored).size(), int(expected.count("store:")));
    // A reader error whose transaction error closes the row: everything before it is done.
    const int errors = expected.split(' ').count("error") + 1;
    mRig->reader.publish(kRfid + "error", R"({"code":202,"what":"fence"})");
    QTRY_COMPARE_WITH_TIMEOUT(timeline().count("error"), errors, 10000);

    QStringList events = timeline();
    QCOMPARE(events.takeLast(), QStringLiteral("error"));
    QCOMPARE(events.join(' '), expected);
    for (const QString &line : logs) {
        if (line.startsWith('!'))
            QVERIFY2(!mRig->log.containsPart(line.mid(1)), qPrintable(line));
        else
            QVERIFY2(mRig->log.containsPart("[validator] " + line), qPrintable(line));
    }
    if (row["verdict"].toString().contains("action") && events.contains("card:0"))
        QTRY_COMPARE(mRig->db->actionList()->records().size(), 1);
    const QList<MqttPeer::Message> writes = requests("card/write/");
    if (!logs.filter(QRegularExpression("^Possibly corrupted")).isEmpty()) // the restore sends what the failed write sent
        QCOMPARE(writes.value(1).payload, writes.at(0).payload);
}

QTEST_GUILESS_MAIN(tst_CardFlow)
#include "tst_cardflow.moc"
