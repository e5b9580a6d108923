#include "peripherals/updatemanager.h"

#include "framework/configuration.h"

const QMap<QString, QVariant> UpdateManager::Defaults = {};

namespace {
[[maybe_unused]] const bool DefaultsRegistered = Configuration::registerDefaults(16, &UpdateManager::Defaults);
}
