#pragma once

#include "tickets/qrticket.h"

#include <QDateTime>
#include <QJsonObject>
#include <QStringList>
#include <QVariantMap>

// A scanned ticket that keeps its fields in a map by key, as the scanned text or the
// database service's ticket object gave them; reads the fields every such format has.
// Immutable once built, like every QrTicket.
class QrFieldTicket : public QrTicket
{
public:
    ~QrFieldTicket() override;

    bool isEmpty() const override;
    int id() const override;

    QString toSerialized() const { return mSerialized; }
    int axisId() const;
    int userId() const;
    QString deviceUuid() const;
    int issueTimestamp() const;
    QDateTime issueDateTime() const;
    int routeExecutionId() const;
    int fareProductId() const;
    QString ticketType() const;
    int passengerTypeId() const;
    virtual bool validityStartDateIsNull() const = 0;
    QDateTime validityStartDate() const;
    int lifeSpan() const;
    int carrierId() const;

protected:
    QrFieldTicket(const char *typeName, QString serialized);
    // The database service's ticket object; an empty object is an empty ticket.
    QrFieldTicket(const char *typeName, const QJsonObject &object);

    // The fields of the scanned text, without its one trailing "|"; none, and an empty
    // ticket, for an empty text.
    QStringList scannedFields();
    int intField(const QString &key) const;
    QString textField(const QString &key) const;
    // The JSON form of the fields every format has.
    QJsonObject commonJson(const QString &templateName) const;

    static const QString kEmpty;
    static const QString kAxisId;
    static const QString kUserId;
    static const QString kDeviceUuid;
    static const QString kIssueTimestamp;
    static const QString kIssuedTicketId;
    static const QString kRouteExecutionId;
    static const QString kFareProductId;
    static const QString kTicketType;
    static const QString kPassengerTypeId;
    static const QString kValidityStartDate;
    static const QString kLifeSpan;
    static const QString kCarrierId;

    QVariantMap mFields;
    QString mSerialized;
};
