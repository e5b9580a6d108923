#pragma once

#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>

namespace manager {
class MqttClient;
}
class RfidManagerPrivate;

// Client of the card reader service on a shared MQTT connection (not owned): publishes the
// reader requests and emits every reader event and response as a map. Lives on the thread
// of its MQTT client; other threads reach its slots through queued calls.
class RfidManager : public QObject
{
    Q_OBJECT
public:
    // Result codes of an EMV transaction as the reader reports them for an EMV card, in the
    // "error" of a write answer: failures from FirstEmvError to LastEmvError, and a transaction
    // that ended before its write.
    enum Error {
        EmvTerminated = 200,
        NoError = 400,
        FirstEmvError = 401,
        LastEmvError = 498,
    };
    Q_ENUM(Error)

    // Codes of the reader's error events, and of the "error" of a failed read. The reader tells
    // no more of them than the number: each name says what a tap makes of it.
    enum ReaderError {
        AbortingError201 = 201,
        AbortingError202 = 202,
        LoggedError203 = 203,
        InternalError = 301,
        AbortingError302 = 302,
        AbortingError304 = 304,
    };
    Q_ENUM(ReaderError)

    // The reader's "state" in its status ("device"). Again only the numbers are the reader's: a
    // reader from Idle to Reading is up, from Enabled on it reads cards, any other is not up.
    enum ReaderState {
        Idle = 1,
        Enabled = 2,
        Reading = 3,
        Failed = 4,
    };
    Q_ENUM(ReaderState)

    // Defaults of the settings group "rfid", which every Configuration knows.
    static const QMap<QString, QVariant> Defaults;
    // The reader's card-technology code (one bit each) to its name; looked up exactly.
    static const QMap<int, QString> CardType;
    // Card-technology codes compared by the validation service.
    enum CardTechnology {
        DesfireCard = 0x100,
    };

    explicit RfidManager(manager::MqttClient *client, QObject *parent = nullptr);
    ~RfidManager() override;
    Q_DISABLE_COPY(RfidManager)

    // "GOOD", "WARNING" or "CRITICAL" from the last status event; empty before the first.
    QString serviceStatus() const;

public slots:
    void getInfo();
    void getStatus();
    void getConfig();
    void setConfig();
    void enable(const QVariantMap &data = QVariantMap{{QStringLiteral("autoread"), true}});
    void disable();
    void createCard(const QVariantMap &card);
    void readCard(const QVariantMap &card);
    void writeCard(const QVariantMap &card);
    void ledSet(const QJsonObject &ledState);

signals:
    void info(const QVariantMap &info);
    void status(const QVariantMap &status);
    void config(const QVariantMap &config);
    void error(const QVariantMap &error);
    void cardFound(const QVariantMap &found);
    void cardRemoved(const QVariantMap &removed);
    void cardAutoread(const QVariantMap &autoread);
    void enabled();
    void disabled();
    void cardCreated(const QVariantMap &card);
    void cardRead(const QVariantMap &card);
    void cardWritten(const QVariantMap &card);

private:
    std::unique_ptr<RfidManagerPrivate> d;
};
