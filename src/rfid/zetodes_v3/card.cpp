#include "rfid/zetodes_v3/card.h"

#include "rfid/cardjsonreader.h"

#include <QDebug>

namespace ZetoDes_v3 {

namespace {

const QLatin1String kProductKeys[3] = {QLatin1String("product0"), QLatin1String("product1"),
                                       QLatin1String("product2")};

} // namespace

const QString Card::MyTemplate = QStringLiteral("ZetoDESv3");
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
    for (int slot = 0; slot < 3; ++slot) {
        if (!hasProduct(slot))
            continue;
        mProducts[slot].fromJson(data.toObject(kProductKeys[slot]));
        mProducts[slot].setProductNum(unsigned(slot));
    }
    readTail(data, mState.getFlags().hasEPurse);
}

QJsonObject Card::toJson() const
{
    QJsonObject data;
    // An expired product has lost its flag but keeps its status, and must still be written.
    for (int slot = 0; slot < 3; ++slot) {
        const bool written = hasProduct(slot) || mProducts[slot].getStatus() != 0;
        data.insert(kProductKeys[slot], written ? QJsonValue(mProducts[slot].toJson())
                                                : QJsonValue(QJsonValue::Null));
    }
    return write(data, mState.getFlags().hasEPurse);
}

void Card::block(State::Status status, int deviceId, int deviceType, const QDateTime &time)
{
    mState.setStatus(status);
    mState.setStatusTimestamp(time);
    mState.setStatusDeviceId(deviceId);
    mState.setStatusDeviceType(deviceType);
}

void Card::updateStateFlags(int productNum, bool value)
{
    State::Flags &flags = mState.getFlags();
    switch (productNum) {
    case 0: flags.hasProduct0 = value; break;
    case 1: flags.hasProduct1 = value; break;
    case 2: flags.hasProduct2 = value; break;
    default: break;
    }
}

bool Card::setProductActive(Product *product)
{
    const int slot = slotOf(product);
    if (slot < 0) {
        qWarning().noquote() << "[rfid] WARN: product to activate is not a slot of card" << mUid;
        return false;
    }
    if (product->getStatus() == Product::Active)
        return false;
    product->setStatus(Product::Active);
    product->setActivationTimestamp(QDateTime::currentDateTimeUtc());
    updateStateFlags(slot, true);
    return true;
}

bool Card::setProductExpired(Product *product)
{
    const int slot = slotOf(product);
    if (slot < 0) {
        qWarning().noquote() << "[rfid] WARN: product to expire is not a slot of card" << mUid;
        return false;
    }
    if (product->getStatus() == Product::Expired)
        return false;
    product->setStatus(Product::Expired);
    updateStateFlags(slot, false);
    return true;
}

QList<Product *> Card::products()
{
    QList<Product *> present;
    for (int slot = 0; slot < 3; ++slot) {
        if (hasProduct(slot))
            present.append(&mProducts[slot]);
    }
    return present;
}

QList<Product *> Card::periodPassProducts()
{
    return productsOfType(Product::PeriodPass);
}

QList<Product *> Card::storedJourneysProducts()
{
    return productsOfType(Product::StoredJourneys);
}

bool Card::hasProduct(int slot) const
{
    const State::Flags &flags = mState.getFlags();
    return slot == 0 ? flags.hasProduct0 : slot == 1 ? flags.hasProduct1 : flags.hasProduct2;
}

int Card::slotOf(const Product *product) const
{
    for (int slot = 0; slot < 3; ++slot) {
        if (product == &mProducts[slot])
            return slot;
    }
    return -1;
}

QList<Product *> Card::productsOfType(unsigned int type)
{
    QList<Product *> matching;
    for (Product *product : products()) {
        if (product->getProductType() == type)
            matching.append(product);
    }
    return matching;
}

} // namespace ZetoDes_v3
