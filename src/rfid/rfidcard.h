#pragma once

#include <QJsonObject>
#include <QString>

// The model of one card as the reader service delivered it; one subclass per card data
// layout, each keeping its own envelope (template, uid, type). Deleted through this base.
class RfidCard
{
public:
    RfidCard() = default;
    virtual ~RfidCard();

    virtual QString getTemplate() const = 0;
    virtual QString getUid() const = 0;
    virtual int getType() const = 0; // the reader's card-technology code
    // The card as the reader service writes it.
    virtual QJsonObject toJson() const = 0;

protected:
    RfidCard(const RfidCard &) = default;
    RfidCard &operator=(const RfidCard &) = default;
};
