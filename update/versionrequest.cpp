#include "update/versionrequest.h"

#include "core/limits.h"
#include "core/stagingoverrides.h"
#include "update/logcategory.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

const QString defaultHost = QStringLiteral(GLIMMERPANE_VERSION_SERVICE_HOST);
const QString servicePathAndQuery =
    QStringLiteral(":20410/api/front/index/get/version?appPlatform=Windows");

} // namespace

QUrl versionServiceUrl()
{
    const QString vendorUrl = QStringLiteral("https://") + defaultHost + servicePathAndQuery;
    if (const std::optional<QUrl> origin = StagingOverrides::versionServiceOrigin()) {
        QUrl url(vendorUrl, QUrl::TolerantMode);
        url.setHost(origin->host());
        url.setPort(origin->port());
        return url;
    }
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
