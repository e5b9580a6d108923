#include "rfid/carddate.h"
#include "rfid/cardtime.h"
#include "rfid/rfidcardfactory.h"
#include "rfid/zetodes_v2/card.h"
#include "rfid/zetodes_v3/card.h"
#include "rfid/zetoluc/card.h"
#include "rfid/zetolucv2/card.h"

#include "support/goldenfile.h"
#include "support/logcapture.h"

#include <QtTest>

#include <memory>
#include <stdexcept>

// The card models of every layout on the cases of data/cards.json: a reader sample, changes to
// it ({path: value}, null removes the key) and steps a validator takes on the card. What comes
// out (the parser's error, or the card written back, each step's result and the lines logged)
// is pinned in data/cards[.west].expected.json. A sample as read, unchanged, is written back
// as its valid/<name>.expected.json has it and reads back as the same card. Besides, the card
// times and dates those models read and write.
namespace {

const QDateTime kWhen(QDate(2024, 3, 5), QTime(7, 8, 9), Qt::UTC);

template <typename Card, typename Slot>
bool onSlot(Card &card, const QList<Slot *> &cardSlots, int index, bool (Card::*change)(Slot *))
{
    return index < cardSlots.size() && (card.*change)(cardSlots.at(index));
}

// One step on a card; its result as text.
QString step(RfidCard *card, const QString &name)
{
    const QStringList parts = name.split(QLatin1Char(':'));
    const int n = parts.value(1).toInt();
    if (auto *v3 = dynamic_cast<ZetoDes_v3::Card *>(card)) {
        const QList<ZetoDes_v3::Product *> cardSlots{v3->getProduct0(), v3->getProduct1(), v3->getProduct2()};
        if (parts.first() == "expire")
            return QString::number(onSlot(*v3, cardSlots, n, &ZetoDes_v3::Card::setProductExpired));
        if (parts.first() == "activate")
            return QString::number(onSlot(*v3, cardSlots, n, &ZetoDes_v3::Card::setProductActive));
        if (parts.first() == "foreign") {
            ZetoDes_v3::Product copy = *cardSlots.at(n);
            const bool expired = v3->setProductExpired(&copy);
            return QString::number(expired) + QString::number(v3->setProductActive(&copy));
        }
        if (parts.first() == "renumber") { // a record copied in with another slot's number
            ZetoDes_v3::Product moved = *v3->getProduct0();
            moved.setProductNum(uint(n));
            v3->setProduct0(moved);
            return QString::number(v3->setProductExpired(v3->getProduct0()));
        }
        if (parts.first() == "flags")
            return v3->updateStateFlags(n, parts.value(2) == "1"), QString();
        if (parts.first() == "select")
            return QStringLiteral("%1/%2/%3").arg(v3->products().size()).arg(v3->periodPassProducts().size())
                .arg(v3->storedJourneysProducts().size());
        if (parts.first() == "use") {
            ZetoDes_v3::UsageLogEntry ride;
            ride.setTransType(21);
            ride.setTransCounter(58);
            ride.setRouteId(12);
            ride.setInitialTimeStamp(QDateTime(QDate(2024, 1, 15), QTime(10, 0), Qt::LocalTime));
            ride.setTransTimeStamp(kWhen);
            v3->addUsageLogEntry(ride);
            v3->setTransactionCounter(58);
            return QString();
        }
        if (parts.first() == "block")
            return v3->block(ZetoDes_v3::State::BlockedStolen, 3114, 6, kWhen), QString();
    }
    if (auto *v2 = dynamic_cast<ZetoDes_v2::Card *>(card)) {
        if (parts.first() == "expire")
            return QString::number(onSlot(*v2, v2->periodPasses(), n, &ZetoDes_v2::Card::setPeriodPassExpired));
        if (parts.first() == "expire-journeys")
            return QString::number(v2->setStoredJourneysExpired(v2->storedJourneys()));
        if (parts.first() == "foreign") {
            ZetoDes_v2::StoredJourneys copy = *v2->storedJourneys();
            const bool expired = v2->setStoredJourneysExpired(&copy);
            return QString::number(expired) + QString::number(v2->setPeriodPassExpired(nullptr));
        }
        if (parts.first() == "flags")
            return v2->updateStateFlags(n, parts.value(2) == "1"), QString();
        if (parts.first() == "use")
            return v2->addUsageLogEntry(ZetoDes_v2::UsageLogEntry()), QString();
        if (parts.first() == "block")
            return v2->block(ZetoDes_v2::State::BlockedLost, 3114, 6, QDateTime(QDate(2024, 1, 15), QTime(10, 0))),
                   QString();
    }
    if (auto *luc = dynamic_cast<ZetoLUC::Card *>(card)) {
        if (parts.first() == "expire")
            return luc->getPeriodPass()->setStatus(ZetoLUC::PeriodPass::Expired), QString();
        if (parts.first() == "journeys")
            return luc->getStoredJourneys()->setRemainingJourneys(uint(n)), QString();
        if (parts.first() == "block") {
            ZetoLUC::State state = luc->getState();
            state.setStatus(ZetoLUC::State::BlockedMisuse);
            return luc->setState(state), QString();
        }
        if (parts.first() == "use")
            return luc->setUsageLogEntry(ZetoLUC::UsageLogEntry()), QString();
    }
    if (auto *lucv2 = dynamic_cast<ZetoLUCv2::Card *>(card)) {
        if (parts.first() == "days") { // days and minutes left at a given UTC instant
            const QDateTime now = QDateTime::fromString(parts.mid(1).join(':'), Qt::ISODate);
            QStringList left;
            for (ZetoLUCv2::Card::Product *p : lucv2->products())
                left << QStringLiteral("%1/%2/%3").arg(p->remainingDays(now, true)).arg(p->remainingDays(now, false))
                            .arg(p->remainingMinutes(now, true));
            return left.join(' ');
        }
        if (parts.first() == "use") {
            for (ZetoLUCv2::Card::Product *p : lucv2->products())
                p->remainingValue = p->remainingValue / 2;
            lucv2->usageLog().transactionType = 22;
            lucv2->state().status = 2;
            return QString();
        }
        if (parts.first() == "texts")
            return QStringList{ZetoLUCv2::Card::Product::statusToString(n), ZetoLUCv2::Card::Product::typeToString(n),
                               ZetoLUCv2::Card::deviceTypeToString(n), ZetoLUCv2::Card::transTypeToString(n)}
                .join('|');
    }
    return QStringLiteral("unknown step");
}

QJsonObject run(const QString &, const QJsonValue &value)
{
    const QJsonObject testCase = value.toObject();
    const QString sample = QStringLiteral(TEST_DATA_DIR "/valid/") + testCase.value("sample").toString();
    QJsonObject json = JsonPath::readFile(sample).object();
    const QJsonObject changes = testCase.value("changes").toObject();
    for (auto it = changes.begin(); it != changes.end(); ++it)
        json = it.value().isNull() ? JsonPath::removed(json, it.key()) : JsonPath::withValue(json, it.key(), it.value());
    LogCapture log;
    QJsonObject out;
    try {
        std::unique_ptr<RfidCard> card(RfidCardFactory::create(json.toVariantMap()));
        if (!card)
            return {{"error", "no card"}};
        if (changes.isEmpty()) {
            const QJsonObject asRead = card->toJson();
            std::unique_ptr<RfidCard> again(RfidCardFactory::create(asRead.toVariantMap()));
            out.insert("writtenAsSampleFile", asRead == JsonPath::readFile(sample.chopped(5) + ".expected.json").object()
                                                  && again && again->toJson() == asRead);
        }
        QJsonArray results;
        for (const QJsonValue &name : testCase.value("steps").toArray())
            results.append(step(card.get(), name.toString()));
        out.insert("steps", results);
        out.insert("card", QStringLiteral("%1 %2 %3").arg(card->getTemplate()).arg(card->getType()).arg(card->getUid()));
        out.insert("written", card->toJson());
        if (auto *v3 = dynamic_cast<ZetoDes_v3::Card *>(card.get()))
            v3->state().log();
        if (auto *v2 = dynamic_cast<ZetoDes_v2::Card *>(card.get()))
            v2->getState()->log();
    } catch (const std::runtime_error &e) {
        out.insert("error", QString::fromLocal8Bit(e.what()));
    }
    out.insert("log", QJsonArray::fromStringList(log.texts()));
    // A product activated now carries the clock's time, in UTC: only that much is pinned.
    QString text = QString::fromUtf8(QJsonDocument(out).toJson(QJsonDocument::Compact));
    for (const QDate day : {QDate::currentDate().addDays(-1), QDate::currentDate(), QDate::currentDate().addDays(1)})
        text.replace(QRegularExpression(day.toString(Qt::ISODate) + "T\\d\\d:\\d\\d:\\d\\dZ"), "<now>Z");
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

} // namespace

class tst_Cards : public QObject
{
    Q_OBJECT
private slots:
    void cases_data()
    {
        GoldenFile::addRows(JsonPath::readFile(TEST_DATA_DIR "/cards.json").object(),
                            GoldenFile::path(TEST_DATA_DIR "/cards"), run);
    }
    void cases()
    {
        QFETCH(QJsonValue, testCase);
        QFETCH(QJsonObject, expected);
        GOLDEN_COMPARE(run({}, testCase), expected);
    }

    void cardTimes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: does not parse

        QTest::newRow("card-format") << "2024-03-05T07:08:09Z" << QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9), Qt::UTC);
        // Skipped by the clocks in New York: must still read as the UTC instant.
        QTest::newRow("local-dst-gap") << "2024-03-10T02:30:00Z" << QDateTime(QDate(2024, 3, 10), QTime(2, 30), Qt::UTC);
        QTest::newRow("lower-z") << "2024-03-05T07:08:09z" << QDateTime();
        QTest::newRow("feb-30") << "2023-02-30T07:08:09Z" << QDateTime();
        QTest::newRow("arabic-digit") << QString::fromUtf8("2024-03-05T07:08:0\u0669Z") << QDateTime();
    }

    void cardTimes()
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

    void cardTimesWrittenInUtc()
    {
        // Unset is the same instant in every zone, read from a card or a record's default.
        QCOMPARE(CardTime().value().timeSpec(), Qt::UTC);
        QCOMPARE(CardTime().toJson(), QJsonValue(QStringLiteral("1990-01-01T00:00:00Z")));

        const QDateTime local(QDate(2024, 1, 15), QTime(10, 0), Qt::LocalTime);
        const QString expected = QStringLiteral("2024-01-15T%1:00:00Z").arg(qgetenv("TZ") == "America/New_York" ? 15 : 10);
        QCOMPARE(CardTime(local).toJson(), QJsonValue(expected));
        const QDateTime offset(QDate(2024, 1, 15), QTime(10, 0), Qt::OffsetFromUTC, 2 * 3600);
        QCOMPARE(CardTime(offset).toJson(), QJsonValue(QStringLiteral("2024-01-15T08:00:00Z")));
        // Milliseconds are not on the wire.
        const QDateTime millis(QDate(2024, 1, 15), QTime(10, 0, 1, 999), Qt::UTC);
        QCOMPARE(CardTime(millis).toJson(), QJsonValue(QStringLiteral("2024-01-15T10:00:01Z")));
    }

    void cardDates_data()
    {
        QTest::addColumn<QJsonValue>("read");
        QTest::addColumn<QDate>("expected"); // invalid: echoed as read
        QTest::newRow("date") << QJsonValue(QStringLiteral("2031-12-31")) << QDate(2031, 12, 31);
        QTest::newRow("feb-30") << QJsonValue(QStringLiteral("2024-02-30")) << QDate();
        QTest::newRow("time-given") << QJsonValue(QStringLiteral("2024-02-03T00:00:00Z")) << QDate();
        QTest::newRow("number") << QJsonValue(20240203) << QDate();
    }

    void cardDates()
    {
        QFETCH(QJsonValue, read);
        QFETCH(QDate, expected);
        const CardDate date = CardDate::fromJson(read);
        QCOMPARE(date.value(), expected);
        QCOMPARE(date.toJson(), read);
        QCOMPARE(CardDate().toJson(), QJsonValue(QStringLiteral("1990-01-01")));
        QCOMPARE(CardDate(QDate()).toJson(), QJsonValue(QString()));
    }
};

QTEST_GUILESS_MAIN(tst_Cards)
#include "tst_cards.moc"
