#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// The validation service's settings, the "validator/..." keys; the service's Validator::Defaults
// is this map. The QR and card validators read some of them ("validator/qr_passback") without
// linking the service, so each library that reads them registers the map from a static
// initialiser through registerValidatorDefaults(): the first call registers it, in the
// service's place in the order (11), and every later call only answers whether that worked.
const QMap<QString, QVariant> &validatorDefaults();
bool registerValidatorDefaults();
