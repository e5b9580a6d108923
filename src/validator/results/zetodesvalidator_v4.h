#pragma once

#include "validator/results/rfidvalidator.h"

// Validator of DES v4 cards.
// Its fare rules are not part of this build: validate() gives the "Unknown" verdict.
class ZetoDESValidator_v4 : public RfidValidator
{
public:
    using RfidValidator::RfidValidator;
};
