#pragma once

#include <QElapsedTimer>
#include <QObject>

class QTimer;

// Says when a transfer has stalled: nothing received for the inactivity limit, or less than
// 1 KiB a second on average over a window of that length, so that a server trickling a byte now
// and then cannot hold a download for ever. Each chunk only notes its time and size; a timer
// looks four times a window (QNetworkRequest::setTransferTimeout would re-arm its timer with a
// queued call for every chunk, an event and a wake-up each time).
class StallWatchdog : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StallWatchdog)

public:
    explicit StallWatchdog(QObject *parent = nullptr);

    void start();
    void stop();
    void noteData(qint64 bytes);
    // While a person answers the proxy's login, no wait counts.
    void hold(bool held);

signals:
    void stalled();

private:
    void check();

    QTimer *timer;
    QElapsedTimer sinceLastData;
    QElapsedTimer windowClock;
    qint64 windowBytes = 0;
    bool watching = false;
};
