#pragma once

#include <QJsonValue>
#include <QString>

// What CardDate and CardTime share: a value read from the card that does not parse is
// kept as it came and written back unchanged, so echoing a record can never wipe a value
// the device did not understand. Derived gives parse(), format() and unset().
template<typename Derived, typename Value>
class CardValue
{
public:
    static Derived fromJson(const QJsonValue &json)
    {
        Derived read;
        read.mValue = json.isString() ? Derived::parse(json.toString()) : Value();
        if (!read.mValue.isValid())
            read.mUnparsed = json;
        return read;
    }

    Value value() const { return mValue; }
    bool hasUnparsedValue() const { return !mUnparsed.isUndefined(); }
    // The card text of the value; the value as read when it did not parse; "" for an
    // invalid value that was set by the device.
    QJsonValue toJson() const
    {
        if (mValue.isValid())
            return Derived::format(mValue);
        if (hasUnparsedValue())
            return mUnparsed;
        return QString();
    }

protected:
    CardValue()
        : mValue(Derived::unset())
    {
    }
    explicit CardValue(const Value &value)
        : mValue(value)
    {
    }

    // Reads n decimal digits at pos; false on anything else.
    static bool readDigits(const QString &text, int pos, int n, int &out)
    {
        int value = 0;
        for (int i = pos; i < pos + n; ++i) {
            const ushort c = text.at(i).unicode();
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + (c - '0');
        }
        out = value;
        return true;
    }

private:
    Value mValue;
    QJsonValue mUnparsed = QJsonValue(QJsonValue::Undefined);
};
