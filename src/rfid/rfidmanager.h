#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// Client of the card reader service on the local broker. Holds the defaults of its settings
// group "rfid", which every Configuration knows.
class RfidManager
{
public:
    static const QMap<QString, QVariant> Defaults;
};
