#pragma once

#include "validator/results/basket.h"
#include "validator/results/rfidvalidator.h"

// Validator of EMV bank cards, which pay for the tickets of the sales basket. Its fare rules are
// not part of this build: validate() gives the "Unknown" verdict; the basket is kept unused.
class ZetoEmvValidator : public RfidValidator
{
public:
    ZetoEmvValidator(DBManager &db, Basket::Ptr basket, QObject *parent = nullptr)
        : RfidValidator(db, parent)
        , mBasket(std::move(basket))
    {
    }

private:
    Basket::Ptr mBasket;
};
