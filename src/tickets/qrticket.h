#pragma once

#include <QMetaType>
#include <QString>

#include <memory>

// Abstract scanned ticket: every format derives from it and names itself by its type name,
// which the QR validators are chosen by. Immutable once built, so it may be read from any
// thread; it travels in queued signals as std::shared_ptr<QrTicket> ("qrticket_ptr").
class QrTicket
{
public:
    virtual ~QrTicket();
    virtual bool isEmpty() const;
    virtual QString toString() const;
    virtual int id() const;

    QString getQrType() const { return mType; }

protected:
    explicit QrTicket(const char *typeName);
    QrTicket(const QrTicket &) = default;
    QrTicket &operator=(const QrTicket &) = default;

private:
    QString mType;
};

Q_DECLARE_METATYPE(std::shared_ptr<QrTicket>)
