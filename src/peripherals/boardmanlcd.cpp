#include "peripherals/boardmanlcd.h"

#include "framework/configuration.h"

const QMap<QString, QVariant> BoardmanLcd::Defaults = {};

namespace {
[[maybe_unused]] const bool DefaultsRegistered = Configuration::registerDefaults(7, &BoardmanLcd::Defaults);
}
