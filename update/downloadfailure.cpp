#include "update/downloadfailure.h"

#include <QMetaEnum>

QString downloadFailureReason(QNetworkReply::NetworkError error, int httpStatus)
{
    // Qt reports a status of 400 and above as a content or server error of its own.
    if (httpStatus >= 400)
        return QStringLiteral("download error: HTTP status %1").arg(httpStatus);
    const char *name = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(error);
    return QStringLiteral("download error: %1")
        .arg(name ? QString::fromLatin1(name) : QString::number(int(error)));
}
