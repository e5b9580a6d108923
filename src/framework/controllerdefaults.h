#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// The controller's settings: the logger's "log/..." keys and the controller's "zub/..." keys.
// Validators and inspectors read some of them too ("zub/lcd_language", "zub/period_pass_hourly"),
// so the framework registers this map first of all, and every build that reads one knows its
// default; the controller's ZUB::Defaults is this map.
const QMap<QString, QVariant> &controllerDefaults();
