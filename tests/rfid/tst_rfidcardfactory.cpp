#include "rfid/rfidcardfactory.h"
#include "rfid/zetodes_v2/card.h"
#include "rfid/zetodes_v3/card.h"
#include "rfid/zetodesv4/card.h"
#include "rfid/zetoemv/card.h"
#include "rfid/zetoluc/card.h"
#include "rfid/zetolucv2/card.h"

#include "support/jsonpath.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <memory>
#include <stdexcept>

namespace {

QString dataDir(const QString &folder)
{
    return QStringLiteral(TEST_DATA_DIR "/") + folder;
}

QVariantMap sampleMap(const QString &name)
{
    return JsonPath::readFile(dataDir(QStringLiteral("valid/")) + name).object().toVariantMap();
}

// The class of a card model, "" for none.
QString modelName(const RfidCard *card)
{
    if (!card)
        return QString();
    if (dynamic_cast<const ZetoDes_v3::Card *>(card))
        return QStringLiteral("ZetoDes_v3::Card");
    if (dynamic_cast<const ZetoDes_v2::Card *>(card))
        return QStringLiteral("ZetoDes_v2::Card");
    if (dynamic_cast<const ZetoLUC::Card *>(card))
        return QStringLiteral("ZetoLUC::Card");
    if (dynamic_cast<const ZetoLUCv2::Card *>(card))
        return QStringLiteral("ZetoLUCv2::Card");
    if (dynamic_cast<const ZetoEMV::Card *>(card))
        return QStringLiteral("ZetoEMV::Card");
    if (dynamic_cast<const ZetoDESv4::Card *>(card))
        return QStringLiteral("ZetoDESv4::Card");
    return QStringLiteral("?");
}

// Every text a card parser may throw.
const QRegularExpression kCardError(QStringLiteral(
    "^(card missing ?'[A-Za-z0-9]+' field in (top level|state|info|periodpass|topup log|usage log|stored journeys)"
    "|PeriodPass [01] missing)$"));

} // namespace

class tst_RfidCardFactory : public QObject
{
    Q_OBJECT
private slots:
    void picksModelByTemplate_data();
    void picksModelByTemplate();
    void missingKeyPassesThrough();
    void writesSamplesBack_data();
    void writesSamplesBack();
    void fuzzLetsOnlyRuntimeErrorEscape();
    void truncatedMessages();
};

void tst_RfidCardFactory::picksModelByTemplate_data()
{
    QTest::addColumn<QString>("templateName");
    QTest::addColumn<QString>("sample");        // a card of that layout
    QTest::addColumn<QString>("expectedModel"); // "" for no card

    QTest::newRow("des-v3") << "ZetoDESv3" << "desv3-autoread.json" << "ZetoDes_v3::Card";
    QTest::newRow("des-v2") << "ZetoDESv2" << "desv2-full.json" << "ZetoDes_v2::Card";
    QTest::newRow("luc") << "ZetoLUC" << "luc-full.json" << "ZetoLUC::Card";
    QTest::newRow("luc-v2") << "ZetoLUCv2" << "lucv2-full.json" << "ZetoLUCv2::Card";
    QTest::newRow("emv") << "EMV" << "emv-error.json" << "ZetoEMV::Card";
    QTest::newRow("des-v4") << "ZetoDESv4" << "desv4-raw.json" << "ZetoDESv4::Card";
    // A message with no model behind it, under any template the factory knows, still
    // builds the card of that template when the layout needs no key it lacks.
    QTest::newRow("luc-v2-from-des-v3") << "ZetoLUCv2" << "desv3-autoread.json" << "ZetoLUCv2::Card";
    QTest::newRow("des-v4-from-luc") << "ZetoDESv4" << "luc-full.json" << "ZetoDESv4::Card";
    QTest::newRow("emv-from-des-v2") << "EMV" << "desv2-full.json" << "ZetoEMV::Card";
    QTest::newRow("des-v2-other-case") << "zetodesv2" << "desv2-full.json" << "";
    QTest::newRow("des-v3-other-case") << "ZETODESV3" << "desv3-autoread.json" << "";
    QTest::newRow("des-v3-trailing-blank") << "ZetoDESv3 " << "desv3-autoread.json" << "";
    QTest::newRow("luc-other-case") << "zetoluc" << "luc-full.json" << "";
    QTest::newRow("luc-v2-other-case") << "ZetoLucV2" << "lucv2-full.json" << "";
    QTest::newRow("emv-other-case") << "emv" << "emv-error.json" << "";
    QTest::newRow("des-v4-leading-blank") << " ZetoDESv4" << "desv4-raw.json" << "";
    QTest::newRow("empty") << "" << "desv3-autoread.json" << "";
}

void tst_RfidCardFactory::picksModelByTemplate()
{
    QFETCH(QString, templateName);
    QFETCH(QString, sample);
    QFETCH(QString, expectedModel);

    QVariantMap card = sampleMap(sample);
    QVERIFY(!card.isEmpty());
    card.insert(QStringLiteral("template"), templateName);

    std::unique_ptr<RfidCard> model(RfidCardFactory::create(card));
    QCOMPARE(modelName(model.get()), expectedModel);
    if (!model)
        return;
    QCOMPARE(model->getTemplate(), templateName);
    QCOMPARE(model->getType(), card.value(QStringLiteral("type")).toInt());
    QCOMPARE(model->getUid(), card.value(QStringLiteral("uid")).toString());
    QCOMPARE(model->toJson().value(QStringLiteral("template")).toString(), templateName);
}

void tst_RfidCardFactory::missingKeyPassesThrough()
{
    QVariantMap card = sampleMap(QStringLiteral("desv3-autoread.json"));
    card.remove(QStringLiteral("uid"));
    QVERIFY_EXCEPTION_THROWN(delete RfidCardFactory::create(card), std::runtime_error);
    try {
        delete RfidCardFactory::create(card);
    } catch (const std::runtime_error &e) {
        QCOMPARE(QString::fromLocal8Bit(e.what()), QStringLiteral("card missing 'uid' field in top level"));
    }
    // The same for the LUC and EMV layouts.
    for (const QString &name : {QStringLiteral("luc-full.json"), QStringLiteral("emv-error.json")}) {
        QVariantMap other = sampleMap(name);
        other.remove(QStringLiteral("type"));
        try {
            delete RfidCardFactory::create(other);
            QFAIL(qPrintable(name + QStringLiteral(" without type was built")));
        } catch (const std::runtime_error &e) {
            QCOMPARE(QString::fromLocal8Bit(e.what()), QStringLiteral("card missing 'type' field in top level"));
        }
    }
    // No template at all: not a card the device knows, nothing is read.
    card.remove(QStringLiteral("template"));
    QVERIFY(!RfidCardFactory::create(card));
    QVERIFY(!RfidCardFactory::create(QVariantMap()));
}

void tst_RfidCardFactory::writesSamplesBack_data()
{
    QTest::addColumn<QString>("sample");
    const QDir dir(dataDir(QStringLiteral("valid")));
    const QStringList samples = dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString &name : samples) {
        if (!name.endsWith(QLatin1String(".expected.json")))
            QTest::addRow("%s", qPrintable(name.chopped(5))) << dir.filePath(name);
    }
    QVERIFY2(!samples.isEmpty(), qPrintable(dir.path()));
}

void tst_RfidCardFactory::writesSamplesBack()
{
    QFETCH(QString, sample);
    const QJsonDocument input = JsonPath::readFile(sample);
    QVERIFY2(input.isObject(), qPrintable(sample));
    const QString expectedFile = sample.chopped(5) + QStringLiteral(".expected.json");
    QVERIFY2(QFile::exists(expectedFile), qPrintable("missing " + expectedFile));
    const QJsonObject expected = JsonPath::readFile(expectedFile).object();

    std::unique_ptr<RfidCard> card(RfidCardFactory::create(input.object().toVariantMap()));
    QVERIFY(card);
    const QJsonObject written = card->toJson();
    QVERIFY2(written == expected, JsonPath::describeMismatch(written, expected).constData());
    // Writing does not consume anything.
    QCOMPARE(card->toJson(), written);
    // What was written reads back as the same card.
    std::unique_ptr<RfidCard> again(RfidCardFactory::create(written.toVariantMap()));
    QVERIFY(again);
    QCOMPARE(again->toJson(), written);
}

namespace {

QJsonValue randomValue(QRandomGenerator &rng)
{
    switch (rng.bounded(12)) {
    case 0: return QJsonValue(QJsonValue::Null);
    case 1: return QJsonValue(rng.bounded(2) == 1);
    case 2: return QJsonValue(int(rng.generate()));
    case 3: return QJsonValue(1e300);
    case 4: return QJsonValue(-2147483649.0);
    case 5: return QJsonValue(4294967296.5);
    case 6: return QJsonValue(std::numeric_limits<double>::quiet_NaN());
    case 7: return QJsonValue(QStringLiteral("2024-03-05T07:08:09Z"));
    case 8: return QJsonValue(QString::number(rng.generate()));
    case 9: return QJsonValue(QJsonArray{1, QJsonValue(QJsonValue::Null), QJsonObject()});
    case 10: return QJsonValue(QJsonObject());
    default: return QJsonValue(QStringLiteral("ZetoDESv3"));
    }
}

// Every path of the document that ends in a key or an index.
void collectPaths(const QJsonValue &node, const QString &prefix, QStringList &paths)
{
    if (node.isObject()) {
        const QJsonObject object = node.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            const QString path = prefix.isEmpty() ? it.key() : prefix + QLatin1Char('/') + it.key();
            paths.append(path);
            collectPaths(it.value(), path, paths);
        }
    } else if (node.isArray()) {
        const QJsonArray array = node.toArray();
        for (int i = 0; i < array.size(); ++i) {
            const QString path = prefix + QLatin1Char('/') + QString::number(i);
            paths.append(path);
            collectPaths(array.at(i), path, paths);
        }
    }
}

QJsonObject mutate(const QJsonObject &card, QRandomGenerator &rng)
{
    QJsonObject mutated = card;
    const int changes = 1 + rng.bounded(4);
    for (int i = 0; i < changes; ++i) {
        QStringList paths;
        collectPaths(mutated, QString(), paths);
        if (paths.isEmpty())
            break;
        const QString path = paths.at(rng.bounded(paths.size()));
        if (rng.bounded(3) == 0) {
            mutated = JsonPath::removed(mutated, path);
        } else if (rng.bounded(4) == 0) {
            // Truncate an array: logs and the period pass list cut short.
            const QJsonValue at = JsonPath::value(mutated, path);
            if (at.isArray()) {
                QJsonArray array = at.toArray();
                while (!array.isEmpty() && rng.bounded(2) == 0)
                    array.removeLast();
                mutated = JsonPath::withValue(mutated, path, array);
            }
        } else {
            mutated = JsonPath::withValue(mutated, path, randomValue(rng));
        }
    }
    return mutated;
}

// Builds the card and uses it as a validator would; fails the test on anything thrown
// but a card error with one of the known texts.
bool exercise(const QVariantMap &message, int &built, int &refused, QString &failure)
{
    try {
        std::unique_ptr<RfidCard> card(RfidCardFactory::create(message));
        if (!card)
            return true;
        ++built;
        const QByteArray untouched = QJsonDocument(card->toJson()).toJson(QJsonDocument::Compact);
        // These layouts give back an untouched card exactly as it came.
        if (dynamic_cast<ZetoLUC::Card *>(card.get()) || dynamic_cast<ZetoLUCv2::Card *>(card.get())
            || dynamic_cast<ZetoEMV::Card *>(card.get()) || dynamic_cast<ZetoDESv4::Card *>(card.get())) {
            const QByteArray read = QJsonDocument::fromVariant(message).toJson(QJsonDocument::Compact);
            if (untouched != read) {
                failure = QStringLiteral("untouched card written back changed:\n") + QString::fromUtf8(untouched);
                return false;
            }
        }
        if (auto *v3 = dynamic_cast<ZetoDes_v3::Card *>(card.get())) {
            for (ZetoDes_v3::Product *product : v3->products()) {
                v3->setProductExpired(product);
                v3->setProductActive(product);
            }
            v3->periodPassProducts();
            v3->storedJourneysProducts();
            v3->addUsageLogEntry(ZetoDes_v3::UsageLogEntry());
        } else if (auto *v2 = dynamic_cast<ZetoDes_v2::Card *>(card.get())) {
            for (ZetoDes_v2::PeriodPass *pass : v2->periodPasses())
                v2->setPeriodPassExpired(pass);
            if (ZetoDes_v2::StoredJourneys *journeys = v2->storedJourneys())
                v2->setStoredJourneysExpired(journeys);
            v2->addUsageLogEntry(ZetoDes_v2::UsageLogEntry());
        } else if (auto *luc = dynamic_cast<ZetoLUC::Card *>(card.get())) {
            luc->getPeriodPass()->setStatus(ZetoLUC::PeriodPass::Expired);
            luc->getStoredJourneys()->setRemainingJourneys(luc->getStoredJourneys()->getRemainingJourneys() + 1);
            ZetoLUC::State state = luc->getState();
            state.setStatus(ZetoLUC::State::BlockedMisuse);
            luc->setState(state);
            luc->setUsageLogEntry(ZetoLUC::UsageLogEntry());
            // The whole image reads back: the restore cache depends on it.
            const QJsonObject image = luc->toJson();
            const ZetoLUC::Card again(image);
            if (QJsonDocument(again.toJson()).toJson() != QJsonDocument(image).toJson()) {
                failure = QStringLiteral("LUC image does not read back");
                return false;
            }
        } else if (auto *lucv2 = dynamic_cast<ZetoLUCv2::Card *>(card.get())) {
            const QDateTime now(QDate(2024, 4, 8), QTime(20, 0), Qt::UTC);
            for (ZetoLUCv2::Card::Product *product : lucv2->products()) {
                product->remainingDays(now, true);
                product->remainingDays(now, false);
                product->remainingValue = product->remainingValue / 2;
            }
            lucv2->usageLog().transactionType = 22;
            lucv2->state().status = 2;
        }
        QJsonDocument(card->toJson()).toJson(QJsonDocument::Compact);
        return true;
    } catch (const std::runtime_error &e) {
        ++refused;
        const QString text = QString::fromLocal8Bit(e.what());
        if (kCardError.match(text).hasMatch())
            return true;
        failure = QStringLiteral("unexpected error text: ") + text;
    } catch (const std::exception &e) {
        failure = QStringLiteral("std::exception escaped: ") + QString::fromLocal8Bit(e.what());
    } catch (...) {
        failure = QStringLiteral("unknown exception escaped");
    }
    return false;
}

} // namespace

void tst_RfidCardFactory::fuzzLetsOnlyRuntimeErrorEscape()
{
    const quint32 seed = 20240305;
    QRandomGenerator rng(seed);
    QList<QJsonObject> seeds;
    const QDir dir(dataDir(QStringLiteral("valid")));
    for (const QString &name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        if (!name.endsWith(QLatin1String(".expected.json")))
            seeds.append(JsonPath::readFile(dir.filePath(name)).object());
    }
    QVERIFY(seeds.size() >= 2);

    int built = 0;
    int refused = 0;
    for (int i = 0; i < 20000; ++i) {
        const QJsonObject message = mutate(seeds.at(i % seeds.size()), rng);
        QString failure;
        if (!exercise(message.toVariantMap(), built, refused, failure)) {
            QFAIL(qPrintable(QStringLiteral("seed %1, round %2: %3\n%4")
                                 .arg(seed).arg(i).arg(failure)
                                 .arg(QString::fromUtf8(QJsonDocument(message).toJson()))));
        }
    }
    // Both outcomes must occur, or the mutations test nothing.
    QVERIFY2(built > 1000 && refused > 1000, qPrintable(QStringLiteral("built %1, refused %2").arg(built).arg(refused)));
}

void tst_RfidCardFactory::truncatedMessages()
{
    // The reader's bytes cut at every length: a document that does not parse gives no
    // template and no card; one that parses goes through the same checks.
    const QDir dir(dataDir(QStringLiteral("valid")));
    int built = 0;
    int refused = 0;
    for (const QString &name : {QStringLiteral("desv3-autoread.json"), QStringLiteral("desv2-full.json"),
                                QStringLiteral("luc-full.json"), QStringLiteral("lucv2-full.json")}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = QJsonDocument::fromJson(file.readAll()).toJson(QJsonDocument::Compact);
        for (int length = 0; length <= bytes.size(); ++length) {
            const QJsonDocument doc = QJsonDocument::fromJson(bytes.left(length));
            QString failure;
            QVERIFY2(exercise(doc.object().toVariantMap(), built, refused, failure), qPrintable(failure));
        }
    }
    QCOMPARE(built, 4); // only the whole messages
}

QTEST_GUILESS_MAIN(tst_RfidCardFactory)
#include "tst_rfidcardfactory.moc"
