#include "update/stallwatchdog.h"

#include "core/limits.h"

#include <QTimer>

namespace {

constexpr qint64 minimumBytesPerSecond = 1024;

} // namespace

StallWatchdog::StallWatchdog(QObject *parent) : QObject(parent), timer(new QTimer(this))
{
    connect(timer, &QTimer::timeout, this, &StallWatchdog::check);
}

void StallWatchdog::start()
{
    watching = true;
    hold(false);
}

void StallWatchdog::stop()
{
    watching = false;
    timer->stop();
}

void StallWatchdog::noteData(qint64 bytes)
{
    sinceLastData.start();
    windowBytes += bytes;
}

void StallWatchdog::hold(bool held)
{
    if (!watching)
        return;
    if (held)
        return timer->stop();
    sinceLastData.start();
    windowClock.start();
    windowBytes = 0;
    timer->start(qMax(Limits::transferInactivityMs() / 4, 1));
}

void StallWatchdog::check()
{
    const int limitMs = Limits::transferInactivityMs();
    bool slow = false;
    if (windowClock.elapsed() >= limitMs) {
        slow = windowBytes * 1000 < minimumBytesPerSecond * windowClock.elapsed();
        windowClock.start();
        windowBytes = 0;
    }
    if (!slow && sinceLastData.elapsed() < limitMs)
        return;
    stop();
    emit stalled();
}
