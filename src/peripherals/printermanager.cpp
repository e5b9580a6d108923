#include "peripherals/printermanager.h"

#include "framework/configuration.h"

const QMap<QString, QVariant> PrinterManager::Defaults = {};

namespace {
[[maybe_unused]] const bool DefaultsRegistered = Configuration::registerDefaults(12, &PrinterManager::Defaults);
}
