#include "validator/results/validatordefaults.h"

#include "framework/configuration.h"

const QMap<QString, QVariant> &validatorDefaults()
{
    static const QMap<QString, QVariant> defaults = {
        {QStringLiteral("validator/db_name"), QStringLiteral("tickets.sqlite")},
        {QStringLiteral("validator/db_clean_minutes"), 2},
        {QStringLiteral("validator/db_keep_minutes"), 1},
        {QStringLiteral("validator/vehicleId"), QStringLiteral("ThisVehicleId")},
        {QStringLiteral("validator/passbackTime"), 60},
        {QStringLiteral("validator/qr_passback"), true},
        {QStringLiteral("validator/checkPassengerType"), true},
        {QStringLiteral("validator/restore_corrupted_luc"), true},
    };
    return defaults;
}

bool registerValidatorDefaults()
{
    static const bool registered = Configuration::registerDefaults(11, &validatorDefaults());
    return registered;
}
