#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// Client of the board controller service.
// Holds the defaults of its settings (none yet), which every Configuration knows.
class BoardmanLpc
{
public:
    static const QMap<QString, QVariant> Defaults;
};
