#include "update/retrypolicy.h"

#include "core/limits.h"

#include <QDate>
#include <QTime>

#include <optional>

namespace {

// 1*DIGIT. A sign, a fraction or a number past 64 bits is no delay-seconds; the server then
// asked for nothing we can honour.
std::optional<qint64> delaySeconds(const QByteArray &value)
{
    bool ok = false;
    const qint64 seconds = value.toLongLong(&ok);
    for (const char c : value)
        ok = ok && c >= '0' && c <= '9';
    return ok ? std::optional<qint64>(seconds) : std::nullopt;
}

// An HTTP date in any of its three layouts, as recipients must read them: IMF-fixdate ("Sun, 06
// Nov 1994 08:49:37 GMT", which servers send now), rfc850-date ("Sunday, 06-Nov-94 08:49:37 GMT")
// and asctime-date ("Sun Nov  6 08:49:37 1994"). Qt's RFC 2822 parser refuses the "GMT" of the
// first two, so the fields are read one by one. The weekday is not checked.
std::optional<QDateTime> httpDate(const QByteArray &value, const QDateTime &now)
{
    static const QByteArray months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    QList<QByteArray> fields = value.split(' '), date;
    if (fields.size() == 6 && fields[0].endsWith(',') && fields[1].size() == 2 &&
        fields[3].size() == 4 && fields[5] == "GMT")
        date = {fields[1], fields[2], fields[3], fields[4]};
    else if (fields.size() == 4 && fields[0].endsWith(',') && fields[3] == "GMT")
        date = fields[1].split('-') << fields[2];
    else if (value.size() == 24 && (fields = value.simplified().split(' ')).size() == 5)
        date = {fields[2], fields[1], fields[4], fields[3]};
    if (date.size() != 4 || date[1].size() != 3 || months.indexOf(date[1]) % 3 != 0)
        return std::nullopt;
    const std::optional<qint64> day = delaySeconds(date[0]), year = delaySeconds(date[2]);
    if (!day || !year || (date[2].size() != 2 && date[2].size() != 4))
        return std::nullopt;
    // A two-digit year more than 50 years ahead is the last one before with those digits.
    int fullYear = int(*year);
    if (date[2].size() == 2 && (fullYear += now.date().year() / 100 * 100) > now.date().year() + 50)
        fullYear -= 100;
    const QDate when(fullYear, int(months.indexOf(date[1])) / 3 + 1, int(*day));
    const QTime time = QTime::fromString(QString::fromLatin1(date[3]), QStringLiteral("HH:mm:ss"));
    if (!when.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(when, time, Qt::UTC);
}

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

int waitMs(int retry, const QByteArray &retryAfter, const QDateTime &now)
{
    const QByteArray value = retryAfter.trimmed();
    const qint64 cap = Limits::retryAfterMaxSeconds();
    // Capped in seconds first, so that no value can overflow on its way to milliseconds.
    if (const std::optional<qint64> seconds = delaySeconds(value))
        return int(qMin(*seconds, cap) * 1000);
    if (const std::optional<QDateTime> when = httpDate(value, now))
        return int(qBound(qint64(0), now.secsTo(*when), cap) * 1000);
    static const int steps[] = {1000, 4000, 10000};
    return steps[qBound(1, retry, maxRetries) - 1];
}

} // namespace RetryPolicy
