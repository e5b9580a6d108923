#include "peripherals/gpsmanager.h"

#include "framework/configuration.h"

const QMap<QString, QVariant> GpsManager::Defaults = {};

namespace {
[[maybe_unused]] const bool DefaultsRegistered = Configuration::registerDefaults(13, &GpsManager::Defaults);
}
