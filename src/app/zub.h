#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>

class QJsonDocument;
class QJsonObject;
class ZUBPrivate;

namespace manager {
class LogTag;
}

// The application controller: builds and owns every manager of the device, reads its
// command line, completes the settings file, wires the managers and connects both brokers.
// Lives on the main thread; emits config() with every configuration it publishes.
class ZUB : public QObject
{
    Q_OBJECT
public:
    explicit ZUB(QObject *parent = nullptr);
    ~ZUB() override;
    Q_DISABLE_COPY(ZUB)

    // Command line, settings file, signal wiring, broker connections; the connections
    // complete later on the event loop. Help, version, a bad command line and "-s" end the
    // process from here.
    void initialize();

    static const QMap<QString, QVariant> Defaults;
    // "[ZUB] ", the tag of the controller's lines.
    static const manager::LogTag Log;

signals:
    void config(const QJsonDocument &configuration);
    // The device's state as published on the status topic.
    void status(const QJsonObject &status);
    // Who this is: name, version and the device's serial number, at each connection.
    void info(const QJsonObject &info);

private:
    std::unique_ptr<ZUBPrivate> d;
};
