#include "update/stallwatchdog.h"

#include "core/limits.h"

#include <QTimer>

StallWatchdog::StallWatchdog(QObject *parent) : QObject(parent), timer(new QTimer(this))
{
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, &StallWatchdog::check);
}

void StallWatchdog::start()
{
    watching = true;
    sinceLastData.start();
    timer->start(Limits::transferInactivityMs());
}

void StallWatchdog::stop()
{
    watching = false;
    timer->stop();
}

void StallWatchdog::noteData()
{
    sinceLastData.start();
}

void StallWatchdog::hold(bool held)
{
    if (!watching)
        return;
    if (held)
        return timer->stop();
    sinceLastData.start();
    timer->start(Limits::transferInactivityMs());
}

void StallWatchdog::check()
{
    const qint64 idleMs = sinceLastData.elapsed();
    const int limitMs = Limits::transferInactivityMs();
    if (idleMs < limitMs)
        return timer->start(int(limitMs - idleMs));
    watching = false;
    emit stalled();
}
