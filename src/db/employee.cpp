#include "db/employee.h"

#include "framework/logger.h"
#include "tarvik/jsonread.h"

#include <QStringList>

using namespace tarvik::json;

Employee::Employee(const QJsonObject &json)
    : mJson(json)
{
}

int Employee::id() const
{
    return readInt(mJson, QLatin1String("id"));
}

int Employee::zId() const
{
    // The database service writes "currZ", the OBU "curr_z"; a present "currZ" wins even when null.
    if (mJson.contains(QLatin1String("currZ")))
        return readInt(mJson, QLatin1String("currZ"));
    return readInt(mJson, QLatin1String("curr_z"));
}

QString Employee::type() const
{
    return QStringLiteral("driver");
}

QString Employee::firstname() const
{
    return readString(mJson, QLatin1String("firstname"));
}

QString Employee::lastname() const
{
    return readString(mJson, QLatin1String("lastname"));
}

QString Employee::email() const
{
    return readString(mJson, QLatin1String("email"));
}

QString Employee::mobile() const
{
    return readString(mJson, QLatin1String("mobile"));
}

QString Employee::toString() const
{
    return manager::Logger::joinLines({
        QStringLiteral("+--- EMPLOYEE DETAILS --------------------"),
        QStringLiteral("| ID         : ") + QString::number(id()),
        QStringLiteral("| Type       : ") + type(),
        QStringLiteral("| First Name : ") + firstname(),
        QStringLiteral("| Last Name  : ") + lastname(),
        QStringLiteral("| Current Z  : ") + QString::number(zId()),
        QStringLiteral("+-----------------------------------------"),
    });
}
