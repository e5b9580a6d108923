#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// Driving-behaviour monitor fed by GPS telemetry.
// Holds the defaults of its settings (none yet), which every Configuration knows.
class Imu
{
public:
    static const QMap<QString, QVariant> Defaults;
};
