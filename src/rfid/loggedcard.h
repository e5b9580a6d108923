#pragma once

#include "rfid/cardjsonreader.h"
#include "rfid/rfidcard.h"

#include <QJsonObject>
#include <QString>

#include <vector>

// What the card layouts with a state, an info, a balance, a transaction counter and
// top-up and usage logs share: the envelope, those records, and reading and writing
// them. Each layout's Card derives from it and adds its products.
//
//   data.state, data.info         required
//   data.balance                  required when the state has an e-purse
//   data.transactionCounter       required
//   data.topupLog, data.usageLog  optional; usageLog newest first
//
// Written back: only the usage-log entries added since reading, and "topupLog": null.
template<typename Info, typename State, typename TopupLogEntry, typename UsageLogEntry>
class LoggedCard : public RfidCard
{
public:
    QString getTemplate() const override { return mTemplate; }
    QString getUid() const override { return mUid; }
    int getType() const override { return mType; }

    Info getInfo() const { return mInfo; }
    std::vector<TopupLogEntry> getTopupLog() const { return mTopupLog; }
    std::vector<UsageLogEntry> getUsageLog() const { return mUsageLog; } // as read, not the added ones
    int getBalance() const { return mBalance; }
    unsigned int getTransactionCounter() const { return mTransactionCounter; }

    void setState(const State &state) { mState = state; }
    void setTransactionCounter(unsigned int counter) { mTransactionCounter = counter; }
    void addUsageLogEntry(const UsageLogEntry &entry) { mNewUsageLog.push_back(entry); }

protected:
    // 1. the envelope, the state and the info; the reader of "data" for the products.
    CardJsonReader readHead(const QJsonObject &json)
    {
        const CardJsonReader envelope(json, kOpening, kClosing);
        envelope.readEnvelope(mUid, mType, mTemplate);
        const CardJsonReader data(envelope.toObject(QLatin1String("data")), kOpening, kClosing);
        mState.fromJson(data.toObject(QLatin1String("state")));
        mInfo.fromJson(data.toObject(QLatin1String("info")));
        return data;
    }

    // 2. after the products: the balance, the counter and the logs.
    void readTail(const CardJsonReader &data, bool hasEPurse)
    {
        if (hasEPurse)
            mBalance = data.toInt(QLatin1String("balance"));
        mTransactionCounter = data.toUInt(QLatin1String("transactionCounter"));
        data.readRecords(QLatin1String("topupLog"), mTopupLog);
        data.readRecords(QLatin1String("usageLog"), mUsageLog);
    }

    // The card message around data, which holds the layout's products.
    QJsonObject write(QJsonObject data, bool hasEPurse) const
    {
        QJsonArray usageLog;
        for (const UsageLogEntry &entry : mNewUsageLog)
            usageLog.append(entry.toJson());

        data.insert(QLatin1String("transactionCounter"), CardJsonReader::fromUInt(mTransactionCounter));
        data.insert(QLatin1String("info"), mInfo.toJson());
        data.insert(QLatin1String("state"), mState.toJson());
        data.insert(QLatin1String("usageLog"), usageLog);
        data.insert(QLatin1String("topupLog"), QJsonValue(QJsonValue::Null));
        if (hasEPurse)
            data.insert(QLatin1String("balance"), mBalance);
        return CardJsonReader::envelope(mUid, mType, mTemplate, data);
    }

    QString mTemplate;
    QString mUid;
    int mType = 0;
    Info mInfo;
    State mState;
    int mBalance = 0;
    unsigned int mTransactionCounter = 0;
    std::vector<TopupLogEntry> mTopupLog;
    std::vector<UsageLogEntry> mUsageLog;
    std::vector<UsageLogEntry> mNewUsageLog;

private:
    static constexpr const char *kOpening = "card missing '";
    static constexpr const char *kClosing = "' field in top level";
};
