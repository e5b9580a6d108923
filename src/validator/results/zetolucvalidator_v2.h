#pragma once

#include "validator/results/rfidvalidator.h"

// Validator of LUC v2 cards.
// Its fare rules are not part of this build: validate() gives the "Unknown" verdict.
class ZetoLUCValidator_v2 : public RfidValidator
{
public:
    using RfidValidator::RfidValidator;
};
