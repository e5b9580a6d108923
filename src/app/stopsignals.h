#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a clean end of the event loop. The handlers, installed at
// construction, only write the signal's number into a socket pair; a notifier on the main
// thread reads it there and emits stopRequested(). A second signal ends the process at once.
// One per process.
class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;
    Q_DISABLE_COPY(StopSignals)

    // Starts reading what the handlers wrote, from the next turn of the event loop on; a
    // signal caught before waits until then.
    void watch();

signals:
    void stopRequested(int signal);

private slots:
    void onReadable();

private:
    QSocketNotifier *mNotifier = nullptr;
};
