#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <memory>

// One entry of the smart-card blacklist as the database service returns it for a card
// look-up. Holds the received object whole; getters read it on each call. Built once and
// then only read, so it may cross threads as a shared pointer.
class SCBlacklistEntry
{
    Q_GADGET
public:
    using Ptr = std::shared_ptr<SCBlacklistEntry>;

    // Card status codes of the operator's card layouts. The underlying type is fixed so that
    // a code outside this list is still a valid value: it is kept as it comes, and readers
    // treat an unknown code as Stolen.
    enum BlockReason : int {
        Stolen = 2,
        Lost = 3,
        Refunded = 4,
        Overlimit = 5,
        Monitored = 6,
        Unblocked = 8,
        Misuse = 9,
        Damaged = 13,
    };
    Q_ENUM(BlockReason)

    SCBlacklistEntry() = default;
    explicit SCBlacklistEntry(const QJsonObject &json);

    QJsonObject toJson() const { return mJson; }
    void fromJson(const QJsonObject &json) { mJson = json; }

    int id() const;
    QString uid() const;
    QDateTime timestamp() const; // "logDate", "yyyy-MM-ddThh:mm:ss" in local time
    int deviceId() const;
    int cardStatus() const;
    BlockReason blockReason() const;
    int userId() const;
    QString toString() const;

private:
    QJsonObject mJson;
};

Q_DECLARE_METATYPE(SCBlacklistEntry::Ptr)
