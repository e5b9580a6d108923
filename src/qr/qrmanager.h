#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// Client of the QR scanner service on the local broker. Holds the defaults of its settings
// group "qr", which every Configuration knows.
class QRManager
{
public:
    static const QMap<QString, QVariant> Defaults;
};
