#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// Client of the update service.
// Holds the defaults of its settings (none yet), which every Configuration knows.
class UpdateManager
{
public:
    static const QMap<QString, QVariant> Defaults;
};
