#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QSharedPointer>
#include <QString>

namespace tarvik {

// An order of the back-end to change one passenger's card (top up a pass or stored journeys,
// change the passenger type). Keeps the object exactly as received, so writing it back keeps
// keys that no getter reads. A plain value; shared as Ptr once built.
//
//   "id", "counter"                                       int, 0 when missing
//   "accountToken", "smartCardUuid", "status",
//   "transactionType", "fareProductCode",
//   "passengerTypeCode"                                   text
//   "passengerTypeExpirationDate", "actionDate"           "dd/MM/yyyy hh:mm:ss", local time
class Action
{
public:
    using Ptr = QSharedPointer<Action>;
    using List = QList<Ptr>;

    Action() = default;
    explicit Action(const QJsonObject &json);

    static Ptr fromJson(const QJsonObject &json);
    // Never null: text that is not Base64 of a JSON object gives the empty action.
    static Ptr fromSnapshot(const QString &snapshot);

    int id() const;
    QString accountToken() const;
    QString smartCardUuid() const;
    QString status() const;
    int counter() const;
    QString transactionType() const;
    QString fareProductCode() const;
    QString passengerTypeCode() const;
    QDateTime passengerTypeExpirationDate() const;
    QDateTime actionDate() const;

    QJsonObject toJson() const { return mJson; }
    // The indented document in Base64: the form the action record store keeps.
    QString snapshot() const;
    QString toString() const;

private:
    QJsonObject mJson;
};

} // namespace tarvik

Q_DECLARE_METATYPE(tarvik::Action::Ptr)
