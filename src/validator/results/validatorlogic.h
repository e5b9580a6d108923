#pragma once

#include <QDateTime>
#include <QString>

class RfidCard;

// Card rules shared by the card validators and inspectors: status, issue, issuer, transaction
// counter, layout version, and the elapsed time since a tap as text. Stateless; any thread.
class ValidatorLogic
{
public:
    // True when the card's status is not Active; false for a layout without a card status.
    static bool checkCardBlocked(RfidCard *card);
    // True when the card's status is not NotIssued; false for a layout without a card status.
    static bool checkCardIsIssued(RfidCard *card);
    static bool checkCardIssuer(int issuerId);
    static bool checkCardTransactionCounter(int counter);
    static bool checkCardVersion(RfidCard *card);
    // "never", "0 sec", or the time since the tap in its two largest units.
    static QString lastTapInterval(const QDateTime &tap, const QDateTime &now);
};
