#include "peripherals/boardmanlpc.h"

#include "framework/configuration.h"

const QMap<QString, QVariant> BoardmanLpc::Defaults = {};

namespace {
[[maybe_unused]] const bool DefaultsRegistered = Configuration::registerDefaults(8, &BoardmanLpc::Defaults);
}
