#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// Client of the GNSS and location services.
// Holds the defaults of its settings (none yet), which every Configuration knows.
class GpsManager
{
public:
    static const QMap<QString, QVariant> Defaults;
};
