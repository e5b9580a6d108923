#include "vehicle/announcer.h"

#include "framework/configuration.h"

const QMap<QString, QVariant> Announcer::Defaults = {};

namespace {
[[maybe_unused]] const bool DefaultsRegistered = Configuration::registerDefaults(6, &Announcer::Defaults);
}
