#pragma once

#include <QJsonObject>
#include <QString>

// The text form of a record: its JSON object as an indented document, in Base64.
namespace tarvik::json {

QString toSnapshot(const QJsonObject &object);
// An empty object for text that is not Base64 of a JSON object; never throws.
QJsonObject fromSnapshot(const QString &text);

} // namespace tarvik::json
