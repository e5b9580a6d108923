#pragma once

#include "validator/results/validatorresult.h"

#include <QDateTime>
#include <QObject>

#include <functional>
#include <memory>

class QrTicket;

namespace tarvik {
class Route;
}

// Decides whether one scanned QR ticket is valid on the current route; one subclass per
// ticket format. Lives on the validation thread; emits validated once per validate, after the
// result is final, whatever the verdict.
class QrValidator : public QObject
{
    Q_OBJECT
public:
    // The source of "now" (UTC); tests give a fixed one.
    using Clock = std::function<QDateTime()>;

    explicit QrValidator(QObject *parent = nullptr);
    ~QrValidator() override;
    Q_DISABLE_COPY(QrValidator)

    virtual void validate(std::shared_ptr<tarvik::Route> route, std::shared_ptr<QrTicket> ticket) = 0;
    virtual ValidatorResult getResult() const = 0;

    void setClock(Clock clock);

signals:
    void validated();

protected:
    QDateTime now() const;

private:
    Clock mClock;
};
