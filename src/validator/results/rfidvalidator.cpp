#include "validator/results/rfidvalidator.h"

#include "rfid/rfidcard.h"

RfidValidator::RfidValidator(DBManager &db, QObject *parent)
    : QObject(parent)
    , mDb(db)
    , mClock([] { return QDateTime::currentDateTimeUtc(); })
{
}

RfidValidator::~RfidValidator() = default;

QDateTime RfidValidator::tapTime() const
{
    const qint64 secs = mClock().toSecsSinceEpoch();
    return QDateTime::fromSecsSinceEpoch(secs - (((secs % 2) + 2) % 2), Qt::UTC);
}

bool RfidValidator::validate(RfidCard *card, std::shared_ptr<tarvik::Route>, TicketDb &)
{
    mResult.reset();
    mResult.setDenyReason(ValidatorResult::Unknown);
    mResult.setTimeStamp(tapTime());
    if (card) {
        mResult.setTemplate(card->getTemplate());
        mResult.setTicketUID(card->getUid());
    }
    return false;
}
