#include "rfid/zetodes_v2/card.h"

#include "rfid/cardjsonreader.h"

#include <QDebug>
#include <QJsonArray>

#include <stdexcept>

namespace ZetoDes_v2 {

const QString Card::MyTemplate = QStringLiteral("ZetoDESv2");
const QList<int> Card::SupportedVersions = {1};

Card::Card(const QJsonObject &json)
{
    fromJson(json);
}

Card::~Card() = default;

void Card::fromJson(const QJsonObject &json)
{
    const CardJsonReader data = readHead(json);
    // The flags decide what is read, not the keys that happen to be present.
    const State::CardType flags = mState.getCardType();
    if (flags.hasPeriodPass0 || flags.hasPeriodPass1) {
        const QJsonArray passes = data.toArray(QLatin1String("periodPass"));
        if (flags.hasPeriodPass0 && passes.size() < 1)
            throw std::runtime_error("PeriodPass 0 missing");
        if (flags.hasPeriodPass1 && passes.size() < 2)
            throw std::runtime_error("PeriodPass 1 missing");
        if (flags.hasPeriodPass0) {
            mPeriodPass0.fromJson(passes.at(0).toObject());
            mPeriodPass0.setPeriodPassNum(0);
        }
        if (flags.hasPeriodPass1) {
            mPeriodPass1.fromJson(passes.at(1).toObject());
            mPeriodPass1.setPeriodPassNum(1);
        }
    }
    if (flags.hasStoredJourneys) {
        mStoredJourneys.fromJson(data.toObject(QLatin1String("storedJourneys")));
        mRemainingJourneys = data.toUInt(QLatin1String("remainingJourneys"));
    }
    readTail(data, flags.hasEPurse);
}

QJsonObject Card::toJson() const
{
    const State::CardType flags = mState.getCardType();

    // Slot 0 always holds its place; an expired pass has lost its flag but keeps its
    // status, and must still be written.
    QJsonArray passes;
    if (flags.hasPeriodPass0 || mPeriodPass0.getStatus() != 0)
        passes.append(mPeriodPass0.toJson());
    else
        passes.append(QJsonValue(QJsonValue::Null));
    if (flags.hasPeriodPass1 || mPeriodPass1.getStatus() != 0)
        passes.append(mPeriodPass1.toJson());

    QJsonObject data;
    data.insert(QLatin1String("periodPass"), passes);
    if (flags.hasStoredJourneys || mStoredJourneys.getStatus() != 0) {
        data.insert(QLatin1String("remainingJourneys"), CardJsonReader::fromUInt(mRemainingJourneys));
        data.insert(QLatin1String("storedJourneys"), mStoredJourneys.toJson());
    }
    return write(data, flags.hasEPurse);
}

QList<PeriodPass *> Card::periodPasses()
{
    const State::CardType flags = mState.getCardType();
    QList<PeriodPass *> present;
    if (flags.hasPeriodPass0)
        present.append(&mPeriodPass0);
    if (flags.hasPeriodPass1)
        present.append(&mPeriodPass1);
    return present;
}

StoredJourneys *Card::storedJourneys()
{
    return mState.getCardType().hasStoredJourneys ? &mStoredJourneys : nullptr;
}

void Card::block(State::Status status, int deviceId, int deviceType, const QDateTime &timestamp)
{
    mState.setStatus(status);
    mState.setTimestamp(timestamp);
    mState.setStatusDeviceId(deviceId);
    mState.setStatusDeviceType(deviceType);
}

void Card::updateStateFlags(int product, bool value)
{
    State::CardType flags = mState.getCardType();
    if (product == 0)
        flags.hasPeriodPass0 = value;
    else if (product == 1)
        flags.hasPeriodPass1 = value;
    else
        flags.hasStoredJourneys = value;
    mState.setCardType(flags);
}

bool Card::setPeriodPassExpired(PeriodPass *pass)
{
    const int slot = pass == &mPeriodPass0 ? 0 : pass == &mPeriodPass1 ? 1 : -1;
    if (slot < 0) {
        qWarning().noquote() << "[rfid] WARN: period pass to expire is not a slot of card" << mUid;
        return false;
    }
    if (pass->getStatus() == PeriodPass::Expired)
        return false;
    pass->setStatus(PeriodPass::Expired);
    updateStateFlags(slot, false);
    return true;
}

bool Card::setStoredJourneysExpired(StoredJourneys *product)
{
    if (product != &mStoredJourneys) {
        qWarning().noquote() << "[rfid] WARN: stored journeys to expire are not those of card" << mUid;
        return false;
    }
    if (product->getStatus() == StoredJourneys::Expired)
        return false;
    product->setStatus(StoredJourneys::Expired);
    updateStateFlags(2, false);
    return true;
}

} // namespace ZetoDes_v2
