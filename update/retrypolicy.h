#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QNetworkReply>

// Which download faults pass by themselves, and how long to wait before trying again.
namespace RetryPolicy {

constexpr int maxRetries = 3;

// A dropped, refused or stalled connection, a failed host lookup and the server's "busy" and
// gateway codes are worth another try; anything else (other 4xx, certificates, a size or digest
// mismatch) would fail the same way again.
bool isTransient(QNetworkReply::NetworkError error, int httpStatus);
// The wait before retry `retry` (1-based): 1 s, 4 s, 10 s, or the server's Retry-After up to
// 60 s: whole seconds, or an HTTP date measured from `now`. A negative, fractional,
// overflowing or otherwise malformed value counts as absent.
int waitMs(int retry, const QByteArray &retryAfter,
           const QDateTime &now = QDateTime::currentDateTimeUtc());

} // namespace RetryPolicy
