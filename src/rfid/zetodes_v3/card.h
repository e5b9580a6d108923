#pragma once

#include "rfid/rfidcard.h"
#include "rfid/zetodes_v3/info.h"
#include "rfid/zetodes_v3/product.h"
#include "rfid/zetodes_v3/state.h"
#include "rfid/zetodes_v3/topuplogentry.h"
#include "rfid/zetodes_v3/usagelogentry.h"

#include <QList>

#include <array>
#include <vector>

namespace ZetoDes_v3 {

// The model of one DES v3 card for one tap: built from the reader's card message,
// changed by a validator, written back with toJson. The card message:
//
//   uid, type, template          envelope, all required
//   data.state, data.info        required
//   data.product0..product2      required when the state's hasProduct0..2 is set
//   data.balance                 required when hasEPurse is set
//   data.transactionCounter      required
//   data.topupLog, data.usageLog optional; usageLog newest first
//
// Written back: identity, info, state, products (present or with a status), balance,
// counter, only the usage-log entries added since reading, and "topupLog": null.
class Card : public RfidCard
{
public:
    static const QString MyTemplate;            // "ZetoDESv3"
    static const QList<int> SupportedVersions;  // of info "version"

    Card() = default;
    explicit Card(const QJsonObject &json); // throws std::runtime_error on a missing key
    ~Card() override;

    QString getTemplate() const override { return mTemplate; }
    QString getUid() const override { return mUid; }
    int getType() const override { return mType; }
    QJsonObject toJson() const override;

    Info getInfo() const { return mInfo; }
    State getState() const { return mState; }
    State &state() { return mState; }
    const State &state() const { return mState; }
    std::vector<TopupLogEntry> getTopupLog() const { return mTopupLog; }
    std::vector<UsageLogEntry> getUsageLog() const { return mUsageLog; } // as read, not the added ones
    int getBalance() const { return mBalance; }
    unsigned int getTransactionCounter() const { return mTransactionCounter; }
    void setTransactionCounter(unsigned int counter) { mTransactionCounter = counter; }

    Product *getProduct0() { return &mProducts[0]; }
    Product *getProduct1() { return &mProducts[1]; }
    Product *getProduct2() { return &mProducts[2]; }
    void setProduct0(const Product &product) { mProducts[0] = product; }
    void setProduct1(const Product &product) { mProducts[1] = product; }
    void setProduct2(const Product &product) { mProducts[2] = product; }
    void setState(const State &state) { mState = state; }

    void block(State::Status status, int deviceId, int deviceType, const QDateTime &time);
    // Sets the presence flag of slot 0, 1 or 2; other numbers change nothing.
    void updateStateFlags(int productNum, bool value);
    // Both take the slot from where the pointer points into this card, never from the
    // product's own number; a product that is not one of the card's slots is refused.
    bool setProductActive(Product *product);
    bool setProductExpired(Product *product);
    void addUsageLogEntry(const UsageLogEntry &entry);

    // Pointers into the card's own present slots, in slot order.
    QList<Product *> products();
    QList<Product *> periodPassProducts();
    QList<Product *> storedJourneysProducts();

private:
    void fromJson(const QJsonObject &json);
    bool hasProduct(int slot) const;
    int slotOf(const Product *product) const;
    QList<Product *> productsOfType(unsigned int type);

    QString mTemplate;
    QString mUid;
    int mType = 0;
    Info mInfo;
    State mState;
    std::array<Product, 3> mProducts;
    int mBalance = 0;
    unsigned int mTransactionCounter = 0;
    std::vector<TopupLogEntry> mTopupLog;
    std::vector<UsageLogEntry> mUsageLog;
    std::vector<UsageLogEntry> mNewUsageLog;
};

} // namespace ZetoDes_v3
