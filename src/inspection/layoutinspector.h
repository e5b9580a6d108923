#pragma once

#include "db/scblacklistentry.h"
#include "framework/configuration.h"
#include "framework/logtag.h"
#include "inspection/rfidinspector.h"
#include "rfid/cardproductstatus.h"
#include "rfid/cardstatuscodes.h"

#include <QDateTime>
#include <QMap>
#include <QString>

// The frame every layout's inspector runs around its own checks and product rules: the record
// of the last inspection, the time of the current one, a settings view, the first and last
// steps of inspectCard, the fields every working record has, and the product helpers the
// layouts share. Card is the layout's card model, StatusCode the integer type of its card
// status. Used on the inspection service's thread.
template <typename Card, typename StatusCode = unsigned int>
class LayoutInspector : public RfidInspector
{
public:
    InspectorResult getResult() const override { return mResult; }

protected:
    using CardStatus = typename CardStatusCodes<StatusCode>::Status;

    // The fields of the working record of one inspection that every layout has; each layout's
    // Transaction adds what paid the ride.
    struct Transaction
    {
        explicit Transaction(Card *card = nullptr) : card(card) {}

        Card *card = nullptr;
        int journeysUsed = 0;
        InspectorResult::TransactionType transactionType = InspectorResult::PeriodPassValidation;
        InspectorResult::DenyReason denyReason = InspectorResult::Valid;
    };

    // log is the layout's tag, declared for the program's life; a card of another layout is
    // refused with notThisLayout; the start and end lines are ruled with dashes to width.
    LayoutInspector(DBManager &db, const manager::LogTag &log,
                    const QString &notThisLayout = QStringLiteral("Card object creation failed"), int width = 63)
        : RfidInspector(db)
        , mLog(log)
        , mNotThisLayout(notThisLayout)
        , mWidth(width)
    {
    }

    // The first steps of inspectCard: a fresh record (reset alone would keep the route, vehicle
    // and product name of the card before), then this layout's card, the start line and the
    // inspection's time; for any other card the warning, "Invalid" and no card.
    Card *startInspection(RfidCard *card)
    {
        mResult = freshResult();
        auto *layoutCard = dynamic_cast<Card *>(card);
        if (!layoutCard) {
            mLog.warning(mNotThisLayout);
            mResult.setDenyReason(InspectorResult::CardInvalid);
            return nullptr;
        }
        mLog.info([this] { return QStringLiteral("--- INSPECTION START ").leftJustified(mWidth, QLatin1Char('-')); });
        mNow = standardiseTime(currentTime());
        return layoutCard;
    }

    // The last step: the record of the inspection, then the end line.
    void endInspection(const InspectorResult &result)
    {
        mResult = result;
        mLog.info([this] { return QStringLiteral("--- INSPECTION END ").leftJustified(mWidth, QLatin1Char('-')); });
    }

    bool isPeriodPassHourly() const { return mConfig.get(QStringLiteral("zub/period_pass_hourly")).toBool(); }

    // The period passes of the DES v2 and LUC layouts.
    template <typename Pass>
    QDateTime getPeriodPassExpiryTimestamp(const Pass *pass) const
    {
        return periodPassExpiry(pass->getStatus() == Pass::Pending, pass->getActivationTimestamp(),
                                qint64(pass->getDays()), isPeriodPassHourly());
    }

    template <typename Pass>
    int getPeriodPassRemainingDays(const Pass *pass) const
    {
        if (!pass)
            return 0;
        return calendarDaysLeft(pass->getStatus(), pass->getDays(), mNow, getPeriodPassExpiryTimestamp(pass));
    }

    template <typename Pass>
    bool checkPeriodPassExpired(const Pass *pass) const
    {
        if (pass->getStatus() == Pass::Expired)
            return true;
        if (pass->getStatus() != Pass::Active || getPeriodPassExpiryTimestamp(pass) >= mNow)
            return false;
        mLog.info(QStringLiteral("  --- Product has expired."));
        return true;
    }

    // A stored-journeys product that can pay no more, expired (201) or active with no journey
    // left (204): true, with that deny reason in the working record.
    bool storedJourneysExpired(unsigned int status, unsigned int journeysLeft, Transaction &transaction) const
    {
        if (status == CardProductStatus::Expired) {
            transaction.denyReason = InspectorResult::CardExpired;
            return true;
        }
        if (status != CardProductStatus::Active || journeysLeft != 0)
            return false;
        transaction.denyReason = InspectorResult::CardInsufficientJourneys;
        mLog.info(QStringLiteral("  --- Remaining journeys is 0. Product has Expired"));
        return true;
    }

    template <typename Pass>
    void printPeriodPass(const Pass *pass) const { printProduct(pass, QStringLiteral("PeriodPass")); }
    template <typename Journeys>
    void printStoredJourneys(const Journeys *product) const { printProduct(product, QStringLiteral("StoredJourneys")); }

    // A blacklisted card's status: the block reason's own number, which is a card status, or
    // stolen for a reason the table does not know.
    static CardStatus mapBlockReasonToCardStatus(SCBlacklistEntry::BlockReason reason)
    {
        using Codes = CardStatusCodes<StatusCode>;
        static const QMap<SCBlacklistEntry::BlockReason, CardStatus> statuses{
            {SCBlacklistEntry::Stolen, Codes::BlockedStolen}, {SCBlacklistEntry::Lost, Codes::BlockedLost},
            {SCBlacklistEntry::Refunded, Codes::BlockedRefunded}, {SCBlacklistEntry::Overlimit, Codes::BlockedOverlimit},
            {SCBlacklistEntry::Monitored, Codes::Monitored}, {SCBlacklistEntry::Unblocked, Codes::Unblocked},
            {SCBlacklistEntry::Misuse, Codes::BlockedMisuse}, {SCBlacklistEntry::Damaged, Codes::BlockedDamaged},
        };
        return statuses.value(reason, Codes::BlockedStolen);
    }

    InspectorResult mResult;
    QDateTime mNow; // of the current inspection, made even to the second

private:
    template <typename Product>
    void printProduct(const Product *product, const QString &type) const
    {
        mLog.info([&] {
            return QStringLiteral("%2/%3/%4").arg(QString::number(product->getProductId()), type,
                                                Product::statusToString(int(product->getStatus())));
        });
    }

    Configuration mConfig;
    const manager::LogTag &mLog;
    QString mNotThisLayout;
    int mWidth;
};
