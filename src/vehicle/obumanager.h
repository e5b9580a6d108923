#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// Link to the vehicle's on-board unit (route, progress, fares, identifiers) over the
// OBU broker. Holds the defaults of its settings group "obu", which every Configuration knows.
class ObuManager
{
public:
    static const QMap<QString, QVariant> Defaults;
};
