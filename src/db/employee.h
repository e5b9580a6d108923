#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QString>

#include <memory>

// A driver or other employee as the database service (login by card) or the OBU's status
// message describes it. Holds the received object whole; getters read it on each call.
// Built once and then only read, so it may cross threads as a shared pointer.
class Employee
{
public:
    using Ptr = std::shared_ptr<Employee>;

    Employee() = default;
    explicit Employee(const QJsonObject &json);

    QJsonObject toJson() const { return mJson; }
    void fromJson(const QJsonObject &json) { mJson = json; }

    int id() const;
    int zId() const;
    QString type() const;
    QString firstname() const;
    QString lastname() const;
    QString email() const;
    QString mobile() const;
    QString toString() const;

private:
    QJsonObject mJson;
};

Q_DECLARE_METATYPE(Employee::Ptr)
