#pragma once

#include "validator/results/rfidvalidator.h"

// Validator of LUC cards.
// Its fare rules are not part of this build: validate() gives the "Unknown" verdict.
class ZetoLucValidator : public RfidValidator
{
public:
    using RfidValidator::RfidValidator;
};
