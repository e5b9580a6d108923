#pragma once

#include "validator/results/rfidvalidator.h"

// Validator of DES v3 cards.
// Its fare rules are not part of this build: validate() gives the "Unknown" verdict.
class ZetoDesValidator_v3 : public RfidValidator
{
public:
    using RfidValidator::RfidValidator;
};
