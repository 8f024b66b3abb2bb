#include "update/retrypolicy.h"

#include <QDateTime>

namespace {

constexpr int retryAfterCapMs = 60 * 1000;

} // namespace

namespace RetryPolicy {

bool isTransient(QNetworkReply::NetworkError error, int httpStatus)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError: // a reset connection
        return true;
    default:
        break;
    }
    switch (httpStatus) {
    case 408:
    case 429:
    case 500:
    case 502:
    case 503:
    case 504:
        return true;
    default:
        return false;
    }
}

int waitMs(int retry, const QByteArray &retryAfter)
{
    const QByteArray value = retryAfter.trimmed();
    if (!value.isEmpty()) {
        bool isNumber = false;
        const qint64 seconds = value.toLongLong(&isNumber);
        qint64 ms = isNumber ? seconds * 1000 : -1;
        const QDateTime when = QDateTime::fromString(QString::fromLatin1(value), Qt::RFC2822Date);
        if (!isNumber && when.isValid())
            ms = QDateTime::currentDateTimeUtc().msecsTo(when);
        if (isNumber || when.isValid())
            return int(qBound(qint64(0), ms, qint64(retryAfterCapMs)));
    }
    static const int steps[] = {1000, 4000, 10000};
    return steps[qBound(1, retry, maxRetries) - 1];
}

} // namespace RetryPolicy
