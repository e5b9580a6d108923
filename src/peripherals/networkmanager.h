#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// Client of the network service.
// Holds the defaults of its settings (none yet), which every Configuration knows.
class NetworkManager
{
public:
    static const QMap<QString, QVariant> Defaults;
};
