#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QMetaType>
#include <QSharedPointer>
#include <QString>

class QSqlQuery;

namespace tarvik {

// A customer of the back-end (the holder of a personalised card). Holds the customer's JSON
// object plus a last access time kept outside it. No locks: filled on the look-up's thread,
// then only read once handed on.
//
//   JSON key                       getter                 row column (index)
//   "id"                           id()                   id (0)
//   "uuid"                         uuid()                 uuid (1)
//   "smartCardUuid"                smartCardUuid()        smartCardUuid (2)
//   "passengerType" / "code"       type()                 type (3)
//   "name"                         firstname()            name (4)
//   "surname"                      lastname()             surname (5)
//   "email"                        email()                email (6)
//   "mobile"                       mobile()               mobile (7)
//   "image"                        image()                image (8)
//   "accountCreationDate"          accountCreationDate()  accountCreationDate (9), seconds
//   (outside the JSON)             lastAccessTime()       lastAccessTime (10), seconds
class Customer
{
public:
    using Ptr = QSharedPointer<Customer>;

    Customer() = default;
    explicit Customer(const QJsonObject &json);

    int id() const;
    void setId(int id);
    QString uuid() const;
    void setUuid(const QString &uuid);
    QString smartCardUuid() const;
    void setSmartCardUuid(const QString &uuid); // empty writes JSON null
    QString type() const;
    void setType(const QString &code);
    QString firstname() const;
    void setFirstname(const QString &name);
    QString lastname() const;
    void setLastname(const QString &name);
    QString email() const;
    void setEmail(const QString &email);
    QString mobile() const;
    void setMobile(const QString &mobile);
    QString image() const;
    void setImage(const QString &image); // empty writes JSON null
    // Written as "dd/MM/yyyy hh:mm:ss" in local time; read back in UTC.
    QDateTime accountCreationDate() const;
    void setAccountCreationDate(const QDateTime &date);
    QDateTime lastAccessTime() const { return mLastAccessTime; }
    void setLastAccessTime(const QDateTime &time) { mLastAccessTime = time; }

    QJsonObject toJson() const { return mJson; }
    QString toString() const;

    // Appends the eleven columns of the row, in table order, to a prepared statement; dates
    // bind as whole seconds since the epoch, an invalid date as NULL.
    void toSql(QSqlQuery &query) const;
    // A customer from the query's current row, read by column position through the setters.
    static Ptr fromSql(const QSqlQuery &query);

private:
    QJsonObject mJson;
    QDateTime mLastAccessTime;
};

} // namespace tarvik

Q_DECLARE_METATYPE(tarvik::Customer::Ptr)
