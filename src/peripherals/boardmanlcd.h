#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// Client of the passenger LCD board service.
// Holds the defaults of its settings (none yet), which every Configuration knows.
class BoardmanLcd
{
public:
    static const QMap<QString, QVariant> Defaults;
};
