#include "update/versionrequest.h"

#include "core/limits.h"
#include "update/logcategory.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

const QString defaultHost = QStringLiteral(GLIMMERPANE_VERSION_SERVICE_HOST);
const char abandonedProperty[] = "glimmerpaneAbandoned";
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

void requestVersionReply(QNetworkAccessManager *manager, const QUrl &url, QObject *context,
                         std::function<void(const QByteArray &body)> done)
{
    QNetworkReply *reply = manager->get(QNetworkRequest(url));
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    auto abandon = [reply] {
        reply->setProperty(abandonedProperty, true);
        reply->abort();
    };
    QObject::connect(deadline, &QTimer::timeout, reply, abandon);
    const qint64 bodyLimit = Limits::versionReplyMaxBytes();
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [abandon, bodyLimit](qint64 received, qint64) {
                         if (received > bodyLimit)
                             abandon();
                     });
    QObject::connect(reply, &QNetworkReply::finished, context, [reply, done = std::move(done)] {
        done(reply->property(abandonedProperty).toBool() ? QByteArray() : reply->readAll());
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    deadline->start(Limits::versionCheckDeadlineMs());
}
