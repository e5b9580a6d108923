#include "vehicle/obumanager.h"

#include "framework/configuration.h"

const QMap<QString, QVariant> ObuManager::Defaults = {
    {QStringLiteral("obu/base"), QStringLiteral("zeto/obu")},
};

namespace {
[[maybe_unused]] const bool DefaultsRegistered = Configuration::registerDefaults(2, &ObuManager::Defaults);
}
