#include "validator/results/validatorlogic.h"

#include "framework/logtag.h"
#include "rfid/zetodes_v2/card.h"
#include "rfid/zetodes_v3/card.h"
#include "rfid/zetoluc/card.h"


#include <optional>

namespace {

const manager::LogTag kLog(QStringLiteral("[Validator::Logic] "));

constexpr unsigned int Active = 0;
constexpr unsigned int NotIssued = 1;

struct CardFacts {
    unsigned int status;
    int version;
    bool versionSupported;
};

// The layouts with a card status; picked by type, never by the template text alone.
std::optional<CardFacts> factsOf(RfidCard *card)
{
    if (auto *luc = dynamic_cast<ZetoLUC::Card *>(card)) {
        const int version = luc->getInfo().getVersion();
        return CardFacts{luc->getState().getStatus(), version, ZetoLUC::Card::SupportedVersions.contains(version)};
    }
    if (auto *v2 = dynamic_cast<ZetoDes_v2::Card *>(card)) {
        const int version = v2->getInfo().getVersion();
        return CardFacts{v2->getState()->getStatus(), version, ZetoDes_v2::Card::SupportedVersions.contains(version)};
    }
    if (auto *v3 = dynamic_cast<ZetoDes_v3::Card *>(card)) {
        const int version = v3->getInfo().getVersion();
        return CardFacts{v3->getState().getStatus(), version, ZetoDes_v3::Card::SupportedVersions.contains(version)};
    }
    kLog.warning(QStringLiteral("Unknown Card Template."));
    return std::nullopt;
}

} // namespace

bool ValidatorLogic::checkCardBlocked(RfidCard *card)
{
    const auto facts = factsOf(card);
    if (!facts)
        return false;
    if (facts->status != Active) {
        kLog.critical(QStringLiteral("Card status is invalid      : %1").arg(facts->status));
        return true;
    }
    kLog.info([&facts] { return QStringLiteral("Card status is valid         : %1 (Active)").arg(facts->status); });
    return false;
}

bool ValidatorLogic::checkCardIsIssued(RfidCard *card)
{
    const auto facts = factsOf(card);
    if (!facts)
        return false;
    if (facts->status == NotIssued) {
        kLog.critical(QStringLiteral("Card is not issued           : %1").arg(facts->status));
        return false;
    }
    kLog.info([&facts] { return QStringLiteral("Card is issued               : %1").arg(facts->status); });
    return true;
}

bool ValidatorLogic::checkCardIssuer(int issuerId)
{
    return issuerId != 0;
}

bool ValidatorLogic::checkCardTransactionCounter(int counter)
{
    if (counter >= 1 && counter <= 65535) {
        kLog.info([counter] { return QStringLiteral("Transaction # is valid        : %1").arg(counter); });
        return true;
    }
    kLog.critical(QStringLiteral("Transaction # is INVALID     : %1").arg(counter));
    return false;
}

bool ValidatorLogic::checkCardVersion(RfidCard *card)
{
    const auto facts = factsOf(card);
    return facts && facts->versionSupported;
}

QString ValidatorLogic::lastTapInterval(const QDateTime &tap, const QDateTime &now)
{
    static const QDateTime Unset(QDate(1990, 1, 1), QTime(0, 0), Qt::UTC);
    constexpr qint64 Minute = 60, Hour = 60 * Minute, Day = 24 * Hour, Month = 30 * Day;

    if (tap == Unset)
        return QStringLiteral("never");
    const qint64 s = tap.secsTo(now);
    if (s < 0)
        return QStringLiteral("0 sec");
    if (s >= Month)
        return QStringLiteral("%1 month(s) %2 day(s)").arg(s / Month).arg(s % Month / Day);
    if (s >= Day)
        return QStringLiteral("%1 day(s) %2 hour(s) ").arg(s / Day).arg(s % Day / Hour);
    if (s >= Hour)
        return QStringLiteral("%1 hour(s) %2 min(s)").arg(s / Hour).arg(s % Hour / Minute);
    if (s >= Minute)
        return QStringLiteral("%1 min(s) %2 sec(s)").arg(s / Minute).arg(s % Minute);
    return QStringLiteral("%1 sec(s)").arg(s);
}
