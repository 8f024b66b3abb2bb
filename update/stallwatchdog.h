#pragma once

#include <QElapsedTimer>
#include <QObject>

class QTimer;

// Says when a transfer has received nothing for the inactivity limit. The timer is not restarted
// per chunk (QNetworkRequest::setTransferTimeout does that with a queued call per chunk, an event
// and a wake-up each time): each chunk only notes the time, and the timer, when it fires, either
// reports the stall or waits for the rest of the limit counted from the last data.
class StallWatchdog : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StallWatchdog)

public:
    explicit StallWatchdog(QObject *parent = nullptr);

    void start();
    void stop();
    void noteData();
    // While a person answers the proxy's login, no wait counts.
    void hold(bool held);

signals:
    void stalled();

private:
    void check();

    QTimer *timer;
    QElapsedTimer sinceLastData;
    bool watching = false;
};
