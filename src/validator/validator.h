#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// The validation service, which turns card taps and QR scans into verdicts. Holds the
// defaults of its settings group "validator", which every Configuration knows.
class Validator
{
public:
    static const QMap<QString, QVariant> Defaults;
};
