#include "peripherals/networkmanager.h"

#include "framework/configuration.h"

const QMap<QString, QVariant> NetworkManager::Defaults = {};

namespace {
[[maybe_unused]] const bool DefaultsRegistered = Configuration::registerDefaults(15, &NetworkManager::Defaults);
}
