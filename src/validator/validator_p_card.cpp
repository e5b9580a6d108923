#include "validator/validator_p.h"

#include "db/dbmanager.h"
#include "db/scblacklistentry.h"
#include "framework/logtag.h"
#include "rfid/rfidcard.h"
#include "rfid/rfidmanager.h"
#include "rfid/zetoluc/card.h"
#include "tarvik/actionlistmanager.h"
#include "tarvik/actionrecord.h"
#include "validator/results/rfidvalidator.h"

#include <QMetaObject>

#include <exception>

// The card side of the worker: card events of the reader client, the card validators, the
// reader's lights and the write-back. Requests to the reader client and the data gateway (both
// on the main thread) go as queued calls by name, so they leave in the order they were made.

namespace {

const manager::LogTag kLog(QStringLiteral("[validator] "));
const QString kEmv = QStringLiteral("EMV");
const QString kRule = QStringLiteral("-------------------------------");

// Restarts the stopwatch and returns the milliseconds since its last start; a stopwatch never
// started counts as 0 instead of the time since an arbitrary origin.
int lap(QElapsedTimer &stopwatch)
{
    if (!stopwatch.isValid()) {
        stopwatch.start();
        return 0;
    }
    return int(stopwatch.restart());
}

void logStatistics(int read, int validate, const int *write)
{
    if (!kLog.isInfoEnabled())
        return;
    kLog.info(kRule);
    kLog.info(QStringLiteral(" Validation Statistics"));
    kLog.info(kRule);
    kLog.info(QStringLiteral(" Card Read     : %1 ms").arg(read));
    kLog.info(QStringLiteral(" Card Validate : %1 ms").arg(validate));
    if (write)
        kLog.info(QStringLiteral(" Card Write    : %1 ms").arg(*write));
    kLog.info(kRule);
    kLog.info(QStringLiteral(" Total         : %1 ms").arg(read + validate + (write ? *write : 0)));
    kLog.info(kRule);
}

// EMV transaction results that the reader reports on a write answer.
bool isEmvWriteCode(int code)
{
    return (code >= RfidManager::FirstEmvError && code <= RfidManager::LastEmvError)
           || code == RfidManager::EmvTerminated;
}

} // namespace

bool ValidatorPrivate::isCardSupported(const QString &templateName)
{
    // Neither trimmed nor skipping empty parts: a blank after a comma is part of the next name.
    const QStringList names = mConfig.get(QStringLiteral("rfid/card_type")).toString().split(QLatin1Char(','));
    return names.contains(templateName, Qt::CaseInsensitive);
}

void ValidatorPrivate::onCardFound(QVariantMap card)
{
    const int type = card.value(QStringLiteral("type")).toInt();
    const QString uid = card.value(QStringLiteral("uid")).toString();
    const auto name = RfidManager::CardType.constFind(type);
    if (name == RfidManager::CardType.constEnd()) {
        kLog.info([&] { return QStringLiteral("Unknown card type '%1'found with uid %2").arg(type).arg(uid); });
        return;
    }
    mCardFoundTime = QDateTime::currentDateTimeUtc();
    lap(mStopwatch);
    kLog.info([&] { return QStringLiteral("Transaction >>>>>>>> '%1' (uid=%2)").arg(*name, uid); });
    if (*name == kEmv)
        emit emvValidationProgress();
    emit cardTransactionStarted();
    if (type == RfidManager::DesfireCard)
        mDb.prefetchCustomer(uid);
}

void ValidatorPrivate::onCardAutoread(QVariantMap card)
{
    mAutoreadTime = QDateTime::currentDateTimeUtc();
    const QString templateName = card.value(QStringLiteral("template")).toString();
    const QString uid = card.value(QStringLiteral("uid")).toString();
    mCardReadDuration = lap(mStopwatch);

    // An EMV card's "error" is the outcome of its payment, which its validator reads.
    if (card.contains(QStringLiteral("error")) && templateName != kEmv) {
        restoreOrFail(uid, card.value(QStringLiteral("error")).toMap());
        return;
    }
    if (!isCardSupported(templateName)) {
        kLog.info([&] { return QStringLiteral("No suitable card validator for card type '%1'").arg(templateName); });
        emit cardTransactionError();
        return;
    }

    mTransactionBasket = basketSnapshot();
    mCardTemplate = templateName;
    mCardUid = uid;
    mCardValidator = mCardValidatorFactory.create(templateName, mDb, mTransactionBasket);
    if (!mCardValidator) {
        failCard(QStringLiteral("No suitable card validator for card type '%1'").arg(templateName));
        return;
    }
    mCardValidator->setClock([this] { return now(); });
    connect(mCardValidator.get(), &RfidValidator::foundEmployeeCard, this, &ValidatorPrivate::onFoundEmployeeCard);

    std::unique_ptr<RfidCard> model;
    try {
        model.reset(mCardFactory.create(card));
    } catch (const std::exception &e) {
        failCard(QStringLiteral("Reading card failed: ") + QString::fromUtf8(e.what()));
        return;
    } catch (...) {
        failCard(QStringLiteral("Reading card failed: unknown exception"));
        return;
    }
    // The setting compares templates without case, the factories do not.
    if (!model) {
        failCard(QStringLiteral("No suitable card validator for card type '%1'").arg(templateName));
        return;
    }
    mParsingDoneTime = QDateTime::currentDateTimeUtc();
    kLog.info([this] { return QStringLiteral("Parsing done in %1ms").arg(mAutoreadTime.msecsTo(mParsingDoneTime)); });

    bool valid = false;
    try {
        valid = mCardValidator->validate(model.get(), routeSnapshot(), mTicketDb);
    } catch (const std::exception &e) {
        failCard(QStringLiteral("ERROR: Card validation failed: ") + QString::fromUtf8(e.what()));
        return;
    } catch (...) {
        failCard(QStringLiteral("ERROR: Card validation failed: unknown exception"));
        return;
    }
    const QDateTime validated = QDateTime::currentDateTimeUtc();
    kLog.info(valid ? QStringLiteral("Validation result [Valid]") : QStringLiteral("Validation result [Invalid]"));
    if (kLog.isInfoEnabled()) {
        kLog.info(QStringLiteral("Validation done in %1ms").arg(mParsingDoneTime.msecsTo(validated)));
        kLog.info(QStringLiteral("ZUB overall %1ms").arg(mAutoreadTime.msecsTo(validated)));
    }
    mCardValidateDuration = lap(mStopwatch);

    const ValidatorResult result = mCardValidator->getResult();
    if (templateName == kEmv) {
        kLog.info(QStringLiteral("EMV card validated ===> Send validatedEMVcard() signal"));
        emit validatedEMVcard(result);
    }
    // An employee card: its signal went out during validate(); no lights, no verdict.
    if (result.getDenyReason() == ValidatorResult::EmployeeCard)
        return;

    if (!result.getShouldWriteBack()) {
        kLog.info([this] {
            return QStringLiteral("Transaction <<<<<<<< [no-write] %1ms")
                .arg(mCardFoundTime.msecsTo(QDateTime::currentDateTimeUtc()));
        });
        logStatistics(mCardReadDuration, mCardValidateDuration, nullptr);
        emit validatedCard(result);
        setLeds(valid);
        return;
    }

    const QVariantMap written = model->toJson().toVariantMap();
    if (mConfig.get(QStringLiteral("validator/restore_corrupted_luc")).toBool()
        && model->getTemplate() == ZetoLUC::Card::MyTemplate) {
        kLog.info([&model] { return QStringLiteral("Caching data of ZetoLUC card : ") + model->getUid(); });
        mLucCache.insert(model->getUid(), written);
    }
    writeCard(written);
}

void ValidatorPrivate::onCardRead(QVariantMap card)
{
    if (card.value(QStringLiteral("completed")).toBool())
        onCardAutoread(card.value(QStringLiteral("data")).toMap());
}

void ValidatorPrivate::onCardWritten(QVariantMap card)
{
    kLog.info([this] {
        return QStringLiteral("Transaction <<<<<<<< [with-write] %1ms")
            .arg(mCardFoundTime.msecsTo(QDateTime::currentDateTimeUtc()));
    });
    mCardWriteDuration = lap(mStopwatch);
    logStatistics(mCardReadDuration, mCardValidateDuration, &mCardWriteDuration);

    const bool completed = card.value(QStringLiteral("completed")).toBool();
    const QVariantMap data = card.value(QStringLiteral("data")).toMap();
    const QString uid = data.value(QStringLiteral("uid")).toString();
    // Whatever tap it answers, a completed write leaves nothing to restore on that card.
    if (completed && mLucCache.remove(uid) > 0)
        kLog.info([&uid] { return QStringLiteral("Erasing cached data for Zeto LUC card : ") + uid; });

    // Answers carry no request id: one that names another card (a late answer of an earlier
    // tap) must not give this tap's verdict, action or block a second time.
    if (!mCardValidator || (!uid.isEmpty() && uid != mCardUid)) {
        kLog.warning([&] {
            return QStringLiteral("WARN: Write answer for card %1 while validating card %2").arg(uid, mCardUid);
        });
        emit cardTransactionError();
        return;
    }
    if (completed)
        onWriteCompleted(data);
    else
        onWriteFailed(card.value(QStringLiteral("error")).toMap());
}

void ValidatorPrivate::onRfidError(QVariantMap rfidError)
{
    const int code = rfidError.value(QStringLiteral("code")).toInt();
    kLog.critical(QStringLiteral("ERROR: RFID error (%1): %2").arg(code).arg(rfidError.value(QStringLiteral("what")).toString()));
    switch (code) {
    case RfidManager::InternalError: {
        ValidatorResult result;
        result.setTransactionType(ValidatorResult::Card);
        result.setDenyReason(ValidatorResult::InternalError);
        result.setResult(false);
        emit validatedCard(result);
        break;
    }
    case RfidManager::AbortingError201:
    case RfidManager::AbortingError202:
    case RfidManager::AbortingError302:
    case RfidManager::AbortingError304:
        emit cardTransactionError();
        break;
    default:
        break;
    }
}

void ValidatorPrivate::onFoundEmployeeCard(QString Uid, uint employee)
{
    emit foundEmployeeCard(Uid, employee);
}

void ValidatorPrivate::restoreOrFail(const QString &uid, const QVariantMap &error)
{
    kLog.critical(QStringLiteral("ERROR: Card read failed : ") + error.value(QStringLiteral("what")).toString());
    const auto cached = mLucCache.constFind(uid);
    if (cached == mLucCache.constEnd()) {
        onRfidError(error);
        return;
    }
    // The entry stays until a write of this card completes.
    kLog.warning([&uid] {
        return QStringLiteral("Possibly corrupted card. Attempting to restore card data for : ") + uid;
    });
    writeCard(*cached);
}

void ValidatorPrivate::onWriteCompleted(const QVariantMap &data)
{
    const QString templateName = data.value(QStringLiteral("template")).toString();
    const QString uid = data.value(QStringLiteral("uid")).toString();
    if (!isCardSupported(templateName)) {
        kLog.info([&templateName] {
            return QStringLiteral("No suitable card validator for received card type ") + templateName;
        });
        return;
    }
    // The EMV verdict went out at validation; the write only completes the payment.
    if (templateName == kEmv) {
        if (mCardValidator->getResult().getResult()) {
            kLog.info(QStringLiteral("EMV card validated (Ticket was issued) and write succeeded ===> Store '0' error code in DB"));
            storeEMVResults(mTransactionBasket, 0);
        } else {
            kLog.info(QStringLiteral("EMV card already rejected (No ticket issued) ===> Do not store error code in "
                                   "issue_tickets (already stored in EMV errors table)"));
        }
        return;
    }

    ValidatorResult result = mCardValidator->getResult();
    if (result.passengerId() > 0 && !result.passenger())
        result.setPassenger(mDb.findCustomer(result.passengerId()));
    if (const auto record = result.actionRecord()) {
        const auto action = record->action();
        kLog.info([&] {
            return QStringLiteral("Action was completed : id=%1, cardUid=%2")
                .arg(action ? action->id() : 0)
                .arg(record->smartCardUid());
        });
        if (tarvik::ActionListManager *actions = mDb.actionList())
            actions->setActionComplete(record);
        else
            kLog.critical(QStringLiteral("ERROR: No action list: the completed action is not reported"));
    }
    // The card holds the validator's changes now: the valid lights, whatever the verdict.
    setLeds(true);
    if (const int reason = result.getBlockReason()) {
        kLog.info([&] {
            return QStringLiteral("Smart card was blocked, updating the blacklisted entry in database : uid=%1 reason=%2")
                .arg(uid)
                .arg(reason);
        });
        QMetaObject::invokeMethod(&mDb, "blockCard", Qt::QueuedConnection, Q_ARG(QString, uid),
                                  Q_ARG(SCBlacklistEntry::BlockReason, SCBlacklistEntry::BlockReason(reason)));
    }
    emit validatedCard(result);
}

void ValidatorPrivate::onWriteFailed(const QVariantMap &error)
{
    kLog.critical(QStringLiteral("ERROR: Card write failed : ") + error.value(QStringLiteral("what")).toString());
    const int code = error.value(QStringLiteral("code")).toInt();
    // Only an EMV card has a payment to settle; any other card takes the plain failure road.
    if (mCardTemplate != kEmv || !isEmvWriteCode(code)) {
        emit cardTransactionError();
        setLeds(false);
        return;
    }
    kLog.critical(QStringLiteral("EMV card errorCode %1").arg(code));
    if (mCardValidator->getResult().getResult()) {
        kLog.critical(QStringLiteral("EMV card validated (Ticket was issued) but write failed ===> Store error code in DB"));
        storeEMVResults(mTransactionBasket, code);
    } else {
        kLog.info(QStringLiteral("EMV card already rejected (No ticket issued) and write failed ===> Do not store error "
                               "code in issue_tickets (already stored in EMV errors table)"));
    }
    if (code == RfidManager::EmvTerminated) {
        kLog.info(QStringLiteral("EMV transaction terminated before sending write message ===> Send cardTransactionError signal"));
        emit cardTransactionError();
    }
    setLeds(false);
}

void ValidatorPrivate::failCard(const QString &line)
{
    // Nothing of this tap may answer a later write.
    mCardValidator.reset();
    kLog.critical(line);
    emit cardTransactionError();
}

void ValidatorPrivate::setLeds(bool valid)
{
    const QJsonObject leds = valid ? QJsonObject{{QStringLiteral("blue"), true},
                                                 {QStringLiteral("yellow"), true},
                                                 {QStringLiteral("green"), true}}
                                   : QJsonObject{{QStringLiteral("red"), true}};
    QMetaObject::invokeMethod(mRfidManager.get(), "ledSet", Qt::QueuedConnection, Q_ARG(QJsonObject, leds));
}

void ValidatorPrivate::writeCard(const QVariantMap &card)
{
    QMetaObject::invokeMethod(mRfidManager.get(), "writeCard", Qt::QueuedConnection, Q_ARG(QVariantMap, card));
}
