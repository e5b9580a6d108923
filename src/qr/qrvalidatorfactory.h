#pragma once

#include <memory>

class Configuration;
class DBManager;
class QObject;
class QrTicket;
class QrValidator;

// Picks the validator of a scanned ticket's format by its type name. Stateless.
class QrValidatorFactory
{
public:
    QrValidatorFactory() = default;
    virtual ~QrValidatorFactory();

    // A new validator owned by `parent` (with a null parent, by the caller), or null for a
    // type name no validator serves; nothing is logged. The ticket must not be null. The
    // validator reads `settings` (which must outlive it) when given, else settings of its own.
    QrValidator *create(const std::shared_ptr<QrTicket> &ticket, QObject *parent, DBManager &db,
                        const Configuration *settings = nullptr) const;
};
