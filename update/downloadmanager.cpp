#include "update/downloadmanager.h"

#include "core/limits.h"
#include "core/updatelog.h"
#include "update/releasestatement.h"
#include "update/vendorsignature.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QTimer>

namespace {

const QString tempSuffix = QStringLiteral("_tmp");
// Without a cap Qt's network thread keeps reading ahead of the disk writes and queues the data
// in memory; with one it waits until onReadyRead has taken what is there.
constexpr qint64 readBufferBytes = 1024 * 1024;

} // namespace

DownLoadManager::DownLoadManager(QObject *parent) : QObject(parent)
{
    accessManager = new QNetworkAccessManager(this);
    stallTimer = new QTimer(this);
    stallTimer->setSingleShot(true);
    connect(stallTimer, &QTimer::timeout, this, &DownLoadManager::checkStall);
}

QNetworkAccessManager *DownLoadManager::networkManager() const
{
    return accessManager;
}

void DownLoadManager::startDownload(const QString &url, const QString &filePath,
                                    const InstallerExpectation &expectation)
{
    // A reply still held (a finished one, or one the caller forgot to cancel) must not feed
    // the new file.
    if (reply)
        cancelTransfer();

    this->url = QUrl(url, QUrl::TolerantMode);
    tempFilePath = filePath + tempSuffix;
    expected = expectation;
    written = 0;
    digest.result(); // starts over
    // The digest costs CPU time per byte; it is taken only when something will be checked.
    hashing = !expected.sha256.isEmpty();
    stopped = false;
    delete file;
    file = new QFile(tempFilePath, this);

    // data: and file: would "download" whatever they name.
    const QString scheme = this->url.scheme();
    if (scheme != QLatin1String("https") && scheme != QLatin1String("http"))
        return fail(QStringLiteral("invalid update address"));
    // The signature covers the offered version, size and digest: a release relabelled as another
    // version is refused before anything is fetched. The bytes are then held to size and digest.
    if (!vendorPublicKeys().isEmpty() &&
        !vendorSignatureValid(releaseStatement(expected.version, expected.size, expected.sha256),
                              expected.signature))
        return fail(QStringLiteral("installer signature invalid"));
    // Made new, never through an existing name or symbolic link: a leftover is removed first,
    // and whatever cannot be removed makes the open fail.
    QFile::remove(tempFilePath);
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return fail(QStringLiteral("open temporary file failed"));

    QNetworkRequest request(this->url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    reply = accessManager->get(request);
    reply->setReadBufferSize(readBufferBytes);
    sinceLastData.start();
    stallTimer->start(Limits::transferInactivityMs());

    connect(reply, &QNetworkReply::downloadProgress, this, &DownLoadManager::onDownloadProgress);
    connect(reply, &QIODevice::readyRead, this, &DownLoadManager::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &DownLoadManager::onFinished);
    connect(reply, &QNetworkReply::errorOccurred, this, &DownLoadManager::onError);
    connect(reply, &QNetworkReply::metaDataChanged, this, &DownLoadManager::checkAnnouncedLength);
}

// The timer is not restarted per chunk: each chunk only notes the time, and the timer, when it
// fires, either fails the transfer or waits for the rest of the limit counted from the last data.
void DownLoadManager::checkStall()
{
    if (stopped || !reply)
        return;
    const qint64 idleMs = sinceLastData.elapsed();
    const int limitMs = Limits::transferInactivityMs();
    if (idleMs >= limitMs)
        return fail(QStringLiteral("download stalled"));
    stallTimer->start(int(limitMs - idleMs));
}

bool DownLoadManager::carriesInstaller() const
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status >= 200 && status < 300;
}

void DownLoadManager::checkAnnouncedLength()
{
    sinceLastData.start();
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    // A compressed body announces the compressed length; the count at the end still holds. A
    // redirect's or an error's length is not the installer's: Qt reports those answers too.
    if (stopped || expected.size < 0 || !announced.isValid() || !carriesInstaller() ||
        reply->hasRawHeader("Content-Encoding"))
        return;
    if (announced.toLongLong() != expected.size)
        fail(QStringLiteral("installer size mismatch"));
}

void DownLoadManager::onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    if (stopped)
        return;
    emit signalDownloadProcess(static_cast<int>(bytesReceived), static_cast<int>(bytesTotal));
}

void DownLoadManager::onReadyRead()
{
    if (stopped)
        return;
    sinceLastData.start();
    const QByteArray data = reply->readAll();
    if (!carriesInstaller()) // an error page; the error path follows
        return;
    if (expected.size >= 0 && written + data.size() > expected.size)
        return fail(QStringLiteral("installer size mismatch"));
    // A short write (full disk, size limit) must never end as a truncated installer.
    if (file->write(data) != data.size() || !file->flush())
        return fail(QStringLiteral("write installer failed"));
    written += data.size();
    if (hashing)
        digest.addData(data);
}

void DownLoadManager::onFinished()
{
    const int statusCode = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    stallTimer->stop();
    // close() flushes what is left; a failure there means bytes that never reached the disk.
    file->close();
    const bool closedCleanly = file->error() == QFileDevice::NoError;
    stopped = true;

    // Qt reports an error through errorOccurred first; one that shows only here is still a
    // failed download, never a finished one.
    if (reply->error() != QNetworkReply::NoError)
        return failDownload();
    if (!closedCleanly)
        return fail(QStringLiteral("write installer failed"));
    const QString failure = verificationFailure();
    if (!failure.isEmpty())
        return fail(failure);
    if (!moveIntoPlace())
        return;
    emit signalReplyFinished(statusCode);
}

QString DownLoadManager::verificationFailure()
{
    if (expected.size >= 0 && written != expected.size)
        return QStringLiteral("installer size mismatch");
    const QByteArray actual = digest.result();
    if (!expected.sha256.isEmpty() && actual != expected.sha256)
        return QStringLiteral("installer checksum mismatch");
    return QString();
}

bool DownLoadManager::moveIntoPlace()
{
    const qsizetype cut = tempFilePath.lastIndexOf(tempSuffix);
    const QString finalPath = cut < 0 ? tempFilePath : tempFilePath.left(cut);
    // Whatever stands at the installer's name must go, or the older file would be started.
    if (QFileInfo::exists(finalPath) && !QFile::remove(finalPath)) {
        fail(QStringLiteral("remove old installer failed"));
        return false;
    }
    if (!QFile::rename(tempFilePath, finalPath)) {
        fail(QStringLiteral("rename installer failed"));
        return false;
    }
    return true;
}

void DownLoadManager::onError(QNetworkReply::NetworkError code)
{
    Q_UNUSED(code)
    failDownload();
}

void DownLoadManager::fail(const QString &logLine)
{
    writeUpdateLog(logLine);
    failDownload();
}

void DownLoadManager::failDownload()
{
    stopped = true;
    file->close();
    discardDownload();
    emit signalDownloadError();
}

void DownLoadManager::cancelTransfer()
{
    stopped = true;
    stallTimer->stop();
    if (file && file->isOpen())
        file->close();
    if (reply) {
        disconnect(reply, nullptr, this, nullptr);
        // A reply that has already failed has stopped; aborting it again only makes Qt warn.
        if (reply->error() == QNetworkReply::NoError)
            reply->abort();
        reply->deleteLater();
        reply = nullptr;
    }
}

void DownLoadManager::discardDownload()
{
    cancelTransfer();
    if (QFileInfo::exists(tempFilePath))
        QFile::remove(tempFilePath);
}
