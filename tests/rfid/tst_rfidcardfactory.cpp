#include "rfid/rfidcardfactory.h"
#include "rfid/zetodes_v2/card.h"
#include "rfid/zetodes_v3/card.h"
#include "rfid/zetodesv4/card.h"
#include "rfid/zetoemv/card.h"
#include "rfid/zetoluc/card.h"
#include "rfid/zetolucv2/card.h"

#include "support/jsonpath.h"

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
    QTest::newRow("des-v2-other-case") << "zetodesv2" << "desv2-full.json" << "";
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


QTEST_GUILESS_MAIN(tst_RfidCardFactory)
#include "tst_rfidcardfactory.moc"
