#pragma once

#include <QJsonObject>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <initializer_list>

class QSqlDatabase;

// The row form of the back-end records: a table's column text, its insert statement prepared
// with the values bound by position, and the multi-language map as a column.
namespace tarvik::sql {

struct Column
{
    const char *name;
    const char *type;
};

// Each name left-aligned in a field one wider than the longest, then its type; joined by
// commas without blanks and closed by the primary key.
QString schema(std::initializer_list<Column> columns, const char *primaryKey);

// Prepared, not executed: the caller decides when the row is written.
QSqlQuery prepared(const QSqlDatabase &db, const QString &statement, std::initializer_list<QVariant> values);

QString toText(const QJsonObject &object);
// Text that is not a JSON object (or a NULL column) gives an empty object.
QJsonObject objectFromText(const QVariant &column);

} // namespace tarvik::sql
