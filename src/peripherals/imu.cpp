#include "peripherals/imu.h"

#include "framework/configuration.h"

const QMap<QString, QVariant> Imu::Defaults = {};

namespace {
[[maybe_unused]] const bool DefaultsRegistered = Configuration::registerDefaults(14, &Imu::Defaults);
}
