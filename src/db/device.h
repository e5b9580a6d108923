#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QString>

#include <memory>

// This validator's own record from the database service's status message: ids, carrier,
// vehicle and logged-in user. Holds the received object whole; getters read it on each call.
// Built once and then only read, so it may cross threads as a shared pointer.
//
//   getter             key                rule
//   id()               "id"               int
//   type()             "deviceTypeId"     int
//   uuid()             "deviceUuid"       text
//   carrierId()        "carrierId"        int, -1 for JSON null
//   vehicleId()        "vehicleUuid"      base-10 text, -1 for JSON null
//   userId()           "userId"           int, -1 for JSON null
//   pisSerialNumber()  "pisSerialNumber"  text
class Device
{
public:
    using Ptr = std::shared_ptr<Device>;

    Device() = default;
    explicit Device(const QJsonObject &json);

    QJsonObject toJson() const { return mJson; }
    void fromJson(const QJsonObject &json) { mJson = json; }

    int id() const;
    int type() const;
    QString uuid() const;
    QString name() const;
    QString description() const;
    QString status() const;
    int carrierId() const;
    int vehicleId() const;
    int userId() const;
    QString pisSerialNumber() const;
    QString toString() const;

private:
    QJsonObject mJson;
};

Q_DECLARE_METATYPE(Device::Ptr)
