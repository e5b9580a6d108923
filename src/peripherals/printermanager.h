#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// Client of the printer service.
// Holds the defaults of its settings (none yet), which every Configuration knows.
class PrinterManager
{
public:
    static const QMap<QString, QVariant> Defaults;
};
