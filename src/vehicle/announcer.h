#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// Stop announcements and passenger messages.
// Holds the defaults of its settings (none yet), which every Configuration knows.
class Announcer
{
public:
    static const QMap<QString, QVariant> Defaults;
};
