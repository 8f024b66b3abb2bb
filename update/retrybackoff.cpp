#include "update/retrybackoff.h"

#include "core/limits.h"
#include "update/retrypolicy.h"

#include <QTimer>

RetryBackoff::RetryBackoff(QObject *parent) : QObject(parent), timer(new QTimer(this))
{
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, &RetryBackoff::due);
}

bool RetryBackoff::schedule(const QByteArray &retryAfter)
{
    if (count >= RetryPolicy::maxRetries)
        return false;
    const int wanted = Limits::downloadRetryWaitMs(RetryPolicy::waitMs(count + 1, retryAfter));
    const int waitMs =
        int(qBound(qint64(0), Limits::downloadRetryWaitTotalMs() - waitedMs, qint64(wanted)));
    ++count;
    waitedMs += waitMs;
    timer->start(waitMs);
    return true;
}

int RetryBackoff::retries() const
{
    return count;
}

void RetryBackoff::restart()
{
    count = 0;
    waitedMs = 0;
}

void RetryBackoff::cancel()
{
    timer->stop();
}
