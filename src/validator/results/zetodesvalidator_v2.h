#pragma once

#include "validator/results/rfidvalidator.h"

// Validator of DES v2 cards.
// Its fare rules are not part of this build: validate() gives the "Unknown" verdict.
class ZetoDesValidator_v2 : public RfidValidator
{
public:
    using RfidValidator::RfidValidator;
};
