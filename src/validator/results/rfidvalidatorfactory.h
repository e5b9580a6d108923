#pragma once

#include "validator/results/basket.h"

#include <QString>

#include <functional>
#include <memory>

class DBManager;
class RfidValidator;

// Picks the card validator of a card template. A test may put a creator in front of the table.
class RfidValidatorFactory
{
public:
    using Creator = std::function<std::shared_ptr<RfidValidator>(const QString &templateName)>;

    // A new validator for "ZetoDESv3", "ZetoDESv2", "ZetoLUCv2", "ZetoLUC", "EMV" (the only one
    // given the basket) or "ZetoDESv4", exact and case-sensitive; null for another template.
    static std::shared_ptr<RfidValidator> create(const QString &templateName, DBManager &db,
                                                 std::shared_ptr<Basket> basket);

    // Test seam: asked first; a null answer falls through to the table. Set it before the
    // validation thread starts, or from that thread.
    static void setTestCreator(Creator creator);
};
