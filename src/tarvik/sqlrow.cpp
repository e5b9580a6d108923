#include "tarvik/sqlrow.h"

#include <QJsonDocument>
#include <QSqlDatabase>
#include <QStringList>

#include <algorithm>

namespace tarvik::sql {

QString schema(std::initializer_list<Column> columns, const char *primaryKey)
{
    int width = 0;
    for (const Column &column : columns)
        width = std::max(width, int(qstrlen(column.name)));
    QStringList definitions;
    for (const Column &column : columns)
        definitions << QString::fromLatin1(column.name).leftJustified(width + 1) + QLatin1String(column.type);
    definitions << QStringLiteral("PRIMARY KEY (%1)").arg(QLatin1String(primaryKey));
    return definitions.join(QLatin1Char(','));
}

QSqlQuery prepared(const QSqlDatabase &db, const QString &statement, std::initializer_list<QVariant> values)
{
    QSqlQuery query(db);
    query.prepare(statement);
    for (const QVariant &value : values)
        query.addBindValue(value);
    return query;
}

QString toText(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonObject objectFromText(const QVariant &column)
{
    return QJsonDocument::fromJson(column.toString().toUtf8()).object();
}

} // namespace tarvik::sql
