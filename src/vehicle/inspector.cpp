#include "vehicle/inspector.h"

#include "framework/configuration.h"

const QMap<QString, QVariant> Inspector::Defaults = {};

namespace {
[[maybe_unused]] const bool DefaultsRegistered = Configuration::registerDefaults(5, &Inspector::Defaults);
}
