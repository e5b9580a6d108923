#pragma once

#include <QVariantMap>

class RfidCard;

// Builds the card model of a reader card message by its "template", tried in the order
// "ZetoDESv3", "ZetoDESv2", "ZetoLUC", "ZetoLUCv2", "EMV", "ZetoDESv4" (exact, case
// included); every other template gives null.
class RfidCardFactory
{
public:
    // A new card owned by the caller, or null. The std::runtime_error of a DES v2, DES v3,
    // LUC or EMV card missing a required key passes through to the caller.
    static RfidCard *create(const QVariantMap &card);
};
