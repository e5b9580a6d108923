#pragma once

#include <QJsonObject>

// The four reader LEDs of one verdict, in the order red, green, blue, yellow; its JSON
// form is the body of a set-LEDs request.
class LedResult
{
public:
    LedResult(bool red, bool green, bool blue, bool yellow);

    QJsonObject toJson() const;

private:
    bool mRed = false;
    bool mGreen = false;
    bool mBlue = false;
    bool mYellow = false;
};
