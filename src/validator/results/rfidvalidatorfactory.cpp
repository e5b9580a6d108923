#include "validator/results/rfidvalidatorfactory.h"

#include "validator/results/zetodesvalidator_v2.h"
#include "validator/results/zetodesvalidator_v3.h"
#include "validator/results/zetodesvalidator_v4.h"
#include "validator/results/zetoemvvalidator.h"
#include "validator/results/zetolucvalidator.h"
#include "validator/results/zetolucvalidator_v2.h"

namespace {

RfidValidatorFactory::Creator &testCreator()
{
    static RfidValidatorFactory::Creator creator;
    return creator;
}

} // namespace

std::shared_ptr<RfidValidator> RfidValidatorFactory::create(const QString &templateName, DBManager &db,
                                                            std::shared_ptr<Basket> basket)
{
    if (const Creator &creator = testCreator()) {
        if (auto validator = creator(templateName))
            return validator;
    }
    if (templateName == QLatin1String("ZetoDESv3"))
        return std::make_shared<ZetoDesValidator_v3>(db);
    if (templateName == QLatin1String("ZetoDESv2"))
        return std::make_shared<ZetoDesValidator_v2>(db);
    if (templateName == QLatin1String("ZetoLUCv2"))
        return std::make_shared<ZetoLUCValidator_v2>(db);
    if (templateName == QLatin1String("ZetoLUC"))
        return std::make_shared<ZetoLucValidator>(db);
    if (templateName == QLatin1String("EMV"))
        return std::make_shared<ZetoEmvValidator>(db, std::move(basket));
    if (templateName == QLatin1String("ZetoDESv4"))
        return std::make_shared<ZetoDESValidator_v4>(db);
    return nullptr;
}

void RfidValidatorFactory::setTestCreator(Creator creator)
{
    testCreator() = std::move(creator);
}
