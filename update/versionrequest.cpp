#include "update/versionrequest.h"

#include "core/limits.h"
#include "update/logcategory.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

const QString defaultHost = QStringLiteral(GLIMMERPANE_VERSION_SERVICE_HOST);
const QString servicePathAndQuery =
    QStringLiteral(":20410/api/front/index/get/version?appPlatform=Windows");

#ifdef GLIMMERPANE_STAGING_OVERRIDES
// Accepts exactly "https://HOST:PORT" (an optional trailing "/"), nothing more.
bool isHttpsOrigin(const QUrl &origin)
{
    return origin.isValid() && origin.scheme() == QLatin1String("https") &&
           !origin.host().isEmpty() && origin.port() > 0 && origin.userInfo().isEmpty() &&
           (origin.path().isEmpty() || origin.path() == QLatin1String("/")) && !origin.hasQuery() &&
           !origin.hasFragment();
}
#endif

} // namespace

QUrl versionServiceUrl()
{
    const QString vendorUrl = QStringLiteral("https://") + defaultHost + servicePathAndQuery;
#ifdef GLIMMERPANE_STAGING_OVERRIDES
    const QString override = qEnvironmentVariable("GLIMMERPANE_VERSION_SERVICE");
    if (!override.isEmpty()) {
        const QUrl origin(override, QUrl::StrictMode);
        if (isHttpsOrigin(origin)) {
            QUrl url(vendorUrl, QUrl::TolerantMode);
            url.setHost(origin.host());
            url.setPort(origin.port());
            return url;
        }
        qCWarning(lcUpdate,
                  "GLIMMERPANE_VERSION_SERVICE ignored: \"%s\" is not an https://HOST:PORT origin",
                  qPrintable(override));
    }
#endif
    return QUrl(vendorUrl, QUrl::TolerantMode);
}

VersionRequest::VersionRequest(QNetworkAccessManager *manager, const QUrl &url, QObject *parent)
    : QObject(parent), reply(manager->get(QNetworkRequest(url))), deadline(new QTimer(this))
{
    reply->setParent(this);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, this, &VersionRequest::abandon);
    const qint64 bodyLimit = Limits::versionReplyMaxBytes();
    connect(reply, &QNetworkReply::downloadProgress, this, [this, bodyLimit](qint64 received) {
        if (received > bodyLimit)
            abandon();
    });
    connect(reply, &QNetworkReply::finished, this, [this] {
        deadline->stop();
        emit finished(abandoned ? QByteArray() : reply->readAll());
    });
    deadline->start(Limits::versionCheckDeadlineMs());
}

void VersionRequest::holdDeadline(bool held)
{
    if (held && deadline->isActive()) {
        heldRemainingMs = deadline->remainingTime();
        deadline->stop();
    } else if (!held && heldRemainingMs >= 0) {
        deadline->start(heldRemainingMs);
        heldRemainingMs = -1;
    }
}

void VersionRequest::abandon()
{
    abandoned = true;
    reply->abort();
}
