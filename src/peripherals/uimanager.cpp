#include "peripherals/uimanager.h"

#include "framework/configuration.h"

const QMap<QString, QVariant> UIManager::Defaults = {};

namespace {
[[maybe_unused]] const bool DefaultsRegistered = Configuration::registerDefaults(3, &UIManager::Defaults);
}
