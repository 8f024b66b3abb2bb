#include "update/busyfile.h"

#include <QDeadlineTimer>
#include <QThread>

bool retryWhileBusy(const std::function<FileStep()> &step)
{
    const QDeadlineTimer deadline(busyFileRetryMs());
    for (int waitMs = 50;; waitMs = qMin(waitMs * 2, 1000)) {
        const FileStep result = step();
        if (result != FileStep::Busy)
            return result == FileStep::Done;
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return false;
        QThread::msleep(quint64(qMin(qint64(waitMs), left)));
    }
}
