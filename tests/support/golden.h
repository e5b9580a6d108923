#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

// Expected outputs kept as the entries of one JSON object in a file: ZUB_WRITE_GOLDEN=1 rewrites
// the entry from what the test got, for review in the diff.
namespace Golden {

// Empty when `actual` equals entry `name` of the file; otherwise both, pretty-printed.
QByteArray mismatch(const QString &fileName, const QString &name, const QJsonValue &actual);

} // namespace Golden
