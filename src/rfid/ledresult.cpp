#include "rfid/ledresult.h"

LedResult::LedResult(bool red, bool green, bool blue, bool yellow)
    : mRed(red)
    , mGreen(green)
    , mBlue(blue)
    , mYellow(yellow)
{
}

QJsonObject LedResult::toJson() const
{
    return QJsonObject{
        {QStringLiteral("red"), mRed},
        {QStringLiteral("green"), mGreen},
        {QStringLiteral("blue"), mBlue},
        {QStringLiteral("yellow"), mYellow},
    };
}
