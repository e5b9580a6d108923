#include "validator/validator.h"

#include "framework/configuration.h"

const QMap<QString, QVariant> Validator::Defaults = {
    {QStringLiteral("validator/db_name"), QStringLiteral("tickets.sqlite")},
    {QStringLiteral("validator/db_clean_minutes"), 2},
    {QStringLiteral("validator/db_keep_minutes"), 1},
    {QStringLiteral("validator/vehicleId"), QStringLiteral("ThisVehicleId")},
    {QStringLiteral("validator/passbackTime"), 60},
    {QStringLiteral("validator/qr_passback"), true},
    {QStringLiteral("validator/checkPassengerType"), true},
    {QStringLiteral("validator/restore_corrupted_luc"), true},
};

namespace {
[[maybe_unused]] const bool DefaultsRegistered = Configuration::registerDefaults(11, &Validator::Defaults);
}
