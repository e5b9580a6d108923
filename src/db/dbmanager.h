#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// The data gateway: client of the database service on the OBU broker and owner of the
// back-end link. Holds the defaults of its settings groups "db" and "tarvik", which every
// Configuration knows.
class DBManager
{
public:
    static const QMap<QString, QVariant> Defaults;
};
