#pragma once

#include "rfid/loggedcard.h"
#include "rfid/zetodes_v3/info.h"
#include "rfid/zetodes_v3/product.h"
#include "rfid/zetodes_v3/state.h"
#include "rfid/zetodes_v3/topuplogentry.h"
#include "rfid/zetodes_v3/usagelogentry.h"

#include <QList>

#include <array>

namespace ZetoDes_v3 {

// The model of one DES v3 card for one tap: built from the reader's card message,
// changed by a validator, written back with toJson. The card message:
//
//   uid, type, template          envelope, all required
//   data.product0..product2      required when the state's hasProduct0..2 is set
//   the rest as LoggedCard reads it
//
// Written back: identity, info, state, products (present or with a status), balance,
// counter, only the usage-log entries added since reading, and "topupLog": null.
class Card : public LoggedCard<Info, State, TopupLogEntry, UsageLogEntry>
{
public:
    static const QString MyTemplate;            // "ZetoDESv3"
    static const QList<int> SupportedVersions;  // of info "version"

    Card() = default;
    explicit Card(const QJsonObject &json); // throws std::runtime_error on a missing key
    ~Card() override;

    QJsonObject toJson() const override;

    State getState() const { return mState; }
    State &state() { return mState; }
    const State &state() const { return mState; }

    Product *getProduct0() { return &mProducts[0]; }
    Product *getProduct1() { return &mProducts[1]; }
    Product *getProduct2() { return &mProducts[2]; }
    void setProduct0(const Product &product) { mProducts[0] = product; }
    void setProduct1(const Product &product) { mProducts[1] = product; }
    void setProduct2(const Product &product) { mProducts[2] = product; }

    void block(State::Status status, int deviceId, int deviceType, const QDateTime &time);
    // Sets the presence flag of slot 0, 1 or 2; other numbers change nothing.
    void updateStateFlags(int productNum, bool value);
    // Both take the slot from where the pointer points into this card, never from the
    // product's own number; a product that is not one of the card's slots is refused.
    bool setProductActive(Product *product);
    bool setProductExpired(Product *product);

    // Pointers into the card's own present slots, in slot order.
    QList<Product *> products();
    QList<Product *> periodPassProducts();
    QList<Product *> storedJourneysProducts();

private:
    void fromJson(const QJsonObject &json);
    bool hasProduct(int slot) const;
    int slotOf(const Product *product) const;
    QList<Product *> productsOfType(unsigned int type);

    std::array<Product, 3> mProducts;
};

} // namespace ZetoDes_v3
