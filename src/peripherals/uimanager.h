#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// Client of the touch UI screen service.
// Holds the defaults of its settings (none yet), which every Configuration knows.
class UIManager
{
public:
    static const QMap<QString, QVariant> Defaults;
};
