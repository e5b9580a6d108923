#include "validator/validator.h"

#include "validator/results/validatordefaults.h"

// The map itself lives with the validation results, which the validators that read it link.
const QMap<QString, QVariant> Validator::Defaults = validatorDefaults();

namespace {
[[maybe_unused]] const bool DefaultsRegistered = registerValidatorDefaults();
}
