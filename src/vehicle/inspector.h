#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// Client of the audio and system service.
// Holds the defaults of its settings (none yet), which every Configuration knows.
class Inspector
{
public:
    static const QMap<QString, QVariant> Defaults;
};
