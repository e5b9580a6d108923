#include "tarvik/customer.h"

#include "framework/logger.h"
#include "tarvik/jsonread.h"

#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

using namespace tarvik::json;

namespace tarvik {

namespace {

const QLatin1String kId("id");
const QLatin1String kUuid("uuid");
const QLatin1String kSmartCardUuid("smartCardUuid");
const QLatin1String kPassengerType("passengerType");
const QLatin1String kCode("code");
const QLatin1String kName("name");
const QLatin1String kSurname("surname");
const QLatin1String kEmail("email");
const QLatin1String kMobile("mobile");
const QLatin1String kImage("image");
const QLatin1String kAccountCreationDate("accountCreationDate");

const QString kTextDateFormat = QStringLiteral("dd/MM/yyyy hh:mm:ss");
const QString kDumpDateFormat = QStringLiteral("yyyy-MM-dd'T'hh:mm:ss'Z'");

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

// Never NULL: the row's key is (id, smartCardUuid) and NULLs never compare equal in SQLite, so a
// customer without a card would gain a new row on every insert instead of replacing its own.
QVariant textColumn(const QString &text)
{
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

QVariant toSeconds(const QDateTime &time)
{
    // Truncated, as the store counts whole seconds.
    return time.isValid() ? QVariant(time.toMSecsSinceEpoch() / 1000) : QVariant(QVariant::LongLong);
}

QDateTime fromSeconds(const QVariant &column)
{
    return column.isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(column.toLongLong() * 1000, Qt::UTC);
}

} // namespace

Customer::Customer(const QJsonObject &json)
    : mJson(json)
{
}

int Customer::id() const
{
    return readInt(mJson, kId);
}

void Customer::setId(int id)
{
    mJson.insert(kId, id);
}

QString Customer::uuid() const
{
    return readString(mJson, kUuid);
}

void Customer::setUuid(const QString &uuid)
{
    mJson.insert(kUuid, uuid);
}

QString Customer::smartCardUuid() const
{
    return readString(mJson, kSmartCardUuid);
}

void Customer::setSmartCardUuid(const QString &uuid)
{
    mJson.insert(kSmartCardUuid, textOrNull(uuid));
}

QString Customer::type() const
{
    return readString(readObject(mJson, kPassengerType), kCode);
}

void Customer::setType(const QString &code)
{
    mJson.insert(kPassengerType, QJsonObject{{kCode, code}});
}

QString Customer::firstname() const
{
    return readString(mJson, kName);
}

void Customer::setFirstname(const QString &name)
{
    mJson.insert(kName, name);
}

QString Customer::lastname() const
{
    return readString(mJson, kSurname);
}

void Customer::setLastname(const QString &name)
{
    mJson.insert(kSurname, name);
}

QString Customer::email() const
{
    return readString(mJson, kEmail);
}

void Customer::setEmail(const QString &email)
{
    mJson.insert(kEmail, email);
}

QString Customer::mobile() const
{
    return readString(mJson, kMobile);
}

void Customer::setMobile(const QString &mobile)
{
    mJson.insert(kMobile, mobile);
}

QString Customer::image() const
{
    return readString(mJson, kImage);
}

void Customer::setImage(const QString &image)
{
    mJson.insert(kImage, textOrNull(image));
}

QDateTime Customer::accountCreationDate() const
{
    return toLocalDateTime(mJson.value(kAccountCreationDate), kTextDateFormat).toUTC();
}

void Customer::setAccountCreationDate(const QDateTime &date)
{
    mJson.insert(kAccountCreationDate, date.toLocalTime().toString(kTextDateFormat));
}

QString Customer::toString() const
{
    // Both dates in UTC: the last access time usually arrives in local time.
    return manager::Logger::joinLines({
        QStringLiteral("--- CUSTOMER INFO ------------------------------------"),
        QStringLiteral("ID / UUID   : %1 / %2").arg(QString::number(id()), uuid()),
        QStringLiteral("Card UUID   : %1").arg(smartCardUuid()),
        QStringLiteral("Type        : %1").arg(type()),
        QStringLiteral("Image       : %1").arg(image()),
        QStringLiteral("Created     : %1").arg(accountCreationDate().toString(kDumpDateFormat)),
        QStringLiteral("Last Access : %1").arg(mLastAccessTime.toUTC().toString(kDumpDateFormat)),
        QStringLiteral("------------------------------------------------------"),
    });
}

void Customer::toSql(QSqlQuery &query) const
{
    query.addBindValue(id());
    query.addBindValue(textColumn(uuid()));
    query.addBindValue(textColumn(smartCardUuid()));
    query.addBindValue(textColumn(type()));
    query.addBindValue(textColumn(firstname()));
    query.addBindValue(textColumn(lastname()));
    query.addBindValue(textColumn(email()));
    query.addBindValue(textColumn(mobile()));
    query.addBindValue(textColumn(image()));
    query.addBindValue(toSeconds(accountCreationDate()));
    query.addBindValue(toSeconds(mLastAccessTime));
}

Customer::Ptr Customer::fromSql(const QSqlQuery &query)
{
    auto customer = Ptr::create();
    customer->setId(static_cast<int>(query.value(0).toLongLong()));
    customer->setUuid(query.value(1).toString());
    customer->setSmartCardUuid(query.value(2).toString());
    customer->setType(query.value(3).toString());
    customer->setFirstname(query.value(4).toString());
    customer->setLastname(query.value(5).toString());
    customer->setEmail(query.value(6).toString());
    customer->setMobile(query.value(7).toString());
    customer->setImage(query.value(8).toString());
    const QDateTime created = fromSeconds(query.value(9));
    if (created.isValid())
        customer->setAccountCreationDate(created);
    customer->setLastAccessTime(fromSeconds(query.value(10)));
    return customer;
}

} // namespace tarvik
