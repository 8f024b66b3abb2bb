#include "update/downloadmanager.h"

#include "core/limits.h"
#include "core/updatelog.h"
#include "update/busyfile.h"
#include "update/partialdownload.h"
#include "update/releasestatement.h"
#include "update/retrypolicy.h"
#include "update/vendorsignature.h"

#include <QAuthenticator>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkRequest>
#include <QStorageInfo>
#include <QTimer>

namespace {

const QString tempSuffix = QStringLiteral("_tmp");
// Without a cap Qt's network thread keeps reading ahead of the disk writes and queues the data
// in memory; with one it waits until onReadyRead has taken what is there. Measured (1 GiB over
// TLS on loopback, 12 interleaved pairs): 2 and 4 MiB run equally fast, a few per cent above
// 1 MiB; peak memory grows by 6 to 9 MiB at 2 MiB and by up to 15 MiB at 4 MiB.
constexpr qint64 readBufferBytes = 2 * 1024 * 1024;

} // namespace

DownLoadManager::DownLoadManager(QObject *parent) : QObject(parent)
{
    accessManager = new QNetworkAccessManager(this);
    stallTimer = new QTimer(this);
    stallTimer->setSingleShot(true);
    connect(stallTimer, &QTimer::timeout, this, &DownLoadManager::checkStall);
    connect(accessManager, &QNetworkAccessManager::proxyAuthenticationRequired, this,
            [this](const QNetworkProxy &proxy, QAuthenticator *authenticator) {
                const bool watching = stallTimer->isActive();
                stallTimer->stop();
                emit signalProxyLogin(proxy, authenticator);
                sinceLastData.start();
                if (watching)
                    stallTimer->start(Limits::transferInactivityMs());
            });
    retryTimer = new QTimer(this);
    retryTimer->setSingleShot(true);
    connect(retryTimer, &QTimer::timeout, this, &DownLoadManager::sendRequest);
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
    cancelTransfer();

    this->url = QUrl(url, QUrl::TolerantMode);
    tempFilePath = filePath + tempSuffix;
    expected = expectation;
    retries = 0;
    waitedMs = 0;
    lastError = Error::NoError;
    lastErrorText.clear();
    // The digest costs CPU time per byte; it is taken only when something will be checked.
    hashing = !expected.sha256.isEmpty();
    stopped = false;
    delete file;
    file = new QFile(tempFilePath, this);

    // data: and file: would "download" whatever they name.
    const QString scheme = this->url.scheme();
    if (scheme != QLatin1String("https") && scheme != QLatin1String("http"))
        return fail(Error::InvalidAddress, QStringLiteral("invalid update address"));
    // The signature covers the offered version, size and digest: a release relabelled as another
    // version is refused before anything is fetched. The bytes are then held to size and digest.
    if (!vendorPublicKeys().isEmpty() &&
        !vendorSignatureValid(releaseStatement(expected.version, expected.size, expected.sha256),
                              expected.signature))
        return fail(Error::SignatureInvalid, QStringLiteral("installer signature invalid"));
    // A partial file is continued only when its state names this very release and the file is a
    // plain file no longer than that release; anything else starts over from nothing.
    const std::optional<PartialDownload> kept = PartialDownload::read(stateFilePath());
    const QFileInfo partial(tempFilePath);
    resumeFrom = 0;
    if (kept && kept->url == this->url.toString() && kept->size == expected.size &&
        kept->sha256 == expected.sha256 && partial.isFile() && !partial.isSymLink() &&
        partial.size() <= expected.size)
        resumeFrom = partial.size();
    else
        QFile::remove(stateFilePath());
    if (!enoughDiskSpace())
        return fail(Error::NotEnoughSpace, QStringLiteral("not enough disk space"));
    sendRequest();
}

void DownLoadManager::sendRequest()
{
    file->close();
    if (resumeFrom > 0) {
        if (!file->open(QIODevice::WriteOnly | QIODevice::Append) || !file->resize(resumeFrom) ||
            !hashKeptBytes()) {
            file->close();
            resumeFrom = 0;
        }
    }
    if (resumeFrom == 0) {
        digest.result(); // starts over
        // Made new, never through an existing name or symbolic link: a leftover is removed
        // first, and whatever cannot be removed makes the open fail.
        QFile::remove(tempFilePath);
        QFile::remove(stateFilePath());
        if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return fail(Error::FileError, QStringLiteral("open temporary file failed"));
    }
    written = resumeFrom;
    bodyAccepted = false;
    restartPending = false;

    QNetworkRequest request(this->url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    if (resumeFrom > 0) {
        const std::optional<PartialDownload> kept = PartialDownload::read(stateFilePath());
        request.setRawHeader("Range", "bytes=" + QByteArray::number(resumeFrom) + '-');
        request.setRawHeader("If-Range", kept ? kept->validator : QByteArray("-"));
        // Qt would otherwise ask for gzip, and a range of the compressed body is another thing.
        request.setRawHeader("Accept-Encoding", "identity");
    }
    reply = accessManager->get(request);
    reply->setReadBufferSize(readBufferBytes);
    sinceLastData.start();
    stallTimer->start(Limits::transferInactivityMs());

    connect(reply, &QNetworkReply::downloadProgress, this, &DownLoadManager::onDownloadProgress);
    connect(reply, &QIODevice::readyRead, this, &DownLoadManager::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &DownLoadManager::onFinished);
    connect(reply, &QNetworkReply::errorOccurred, this, &DownLoadManager::onError);
    connect(reply, &QNetworkReply::metaDataChanged, this, &DownLoadManager::onResponseHead);
}

// The digest covers the whole file, so the kept bytes are hashed from the disk, not fetched again.
bool DownLoadManager::hashKeptBytes()
{
    digest.result(); // starts over
    if (!hashing)
        return true;
    QFile kept(tempFilePath);
    return kept.open(QIODevice::ReadOnly) && digest.addData(&kept) && kept.size() == resumeFrom;
}

// The timer is not restarted per chunk: each chunk only notes the time, and the timer, when it
// fires, either fails the transfer or waits for the rest of the limit counted from the last data.
void DownLoadManager::checkStall()
{
    if (stopped || !reply)
        return;
    const qint64 idleMs = sinceLastData.elapsed();
    const int limitMs = Limits::transferInactivityMs();
    if (idleMs < limitMs)
        return stallTimer->start(int(limitMs - idleMs));
    writeUpdateLog(QStringLiteral("download stalled"));
    transferFailed(QNetworkReply::TimeoutError);
}

void DownLoadManager::onResponseHead()
{
    sinceLastData.start();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A redirect or an error status has a body of its own, never the file's.
    if (stopped || (status != 200 && status != 206 && status != 416))
        return;
    if (status == 416 ||
        (status == 206 && reply->rawHeader("Content-Range") != QStringLiteral("bytes %1-%2/%3")
                                                                   .arg(resumeFrom)
                                                                   .arg(expected.size - 1)
                                                                   .arg(expected.size)
                                                                   .toLatin1())) {
        restartPending = true;
        return;
    }
    if (status == 200 && resumeFrom > 0) {
        // The file changed on the server (If-Range did not match) or ranges are not served.
        resumeFrom = written = 0;
        digest.result();
        if (!file->resize(0))
            return fail(Error::FileError, QStringLiteral("write installer failed"));
    }
    bodyAccepted = true;
    keepOrForgetState();
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    // A compressed body announces the compressed length; the count at the end still holds.
    if (expected.size < 0 || !announced.isValid() || reply->hasRawHeader("Content-Encoding"))
        return;
    if (announced.toLongLong() != expected.size - resumeFrom)
        fail(Error::SizeMismatch, QStringLiteral("installer size mismatch"));
}

// Only a response that serves ranges and names a validator can be continued later, and only
// a stated release can be told apart from another.
void DownLoadManager::keepOrForgetState()
{
    QByteArray validator = reply->rawHeader("ETag");
    if (validator.isEmpty())
        validator = reply->rawHeader("Last-Modified");
    const bool ranges =
        reply->rawHeader("Accept-Ranges").trimmed().toLower() == "bytes" || resumeFrom > 0;
    if (ranges && !validator.isEmpty() && hashing && expected.size >= 0 &&
        !reply->hasRawHeader("Content-Encoding") &&
        PartialDownload{url.toString(), expected.size, expected.sha256, validator}.write(
            stateFilePath()))
        return;
    QFile::remove(stateFilePath());
}

// The kept bytes no longer fit the server's file: both files go, and the whole file is fetched.
void DownLoadManager::restartFromZero()
{
    if (resumeFrom == 0)
        return fail(Error::SizeMismatch, QStringLiteral("installer size mismatch"));
    detachReply();
    resumeFrom = 0;
    sendRequest();
}

void DownLoadManager::onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    if (stopped || !bodyAccepted)
        return;
    // Counted over the whole file, so that the bar goes on from where a resume starts.
    const qint64 total = bytesTotal < 0 ? -1 : resumeFrom + bytesTotal;
    emit signalDownloadProcess(resumeFrom + bytesReceived, total);
}

void DownLoadManager::onReadyRead()
{
    if (stopped)
        return;
    sinceLastData.start();
    // One read of all there is, into a buffer kept across chunks: readAll() reads in 16 KiB
    // steps, and with a read buffer cap each step wakes Qt's network thread.
    chunk.resize(reply->bytesAvailable());
    const qint64 count = reply->read(chunk.data(), chunk.size());
    const QByteArrayView data(chunk.constData(), qMax(count, qint64(0)));
    if (!bodyAccepted)
        return; // an error page
    if (expected.size >= 0 && written + data.size() > expected.size)
        return fail(Error::SizeMismatch, QStringLiteral("installer size mismatch"));
    // A short write (full disk, size limit) must never end as a truncated installer.
    if (file->write(data.data(), data.size()) != data.size() || !file->flush())
        return fail(Error::FileError, QStringLiteral("write installer failed"));
    written += data.size();
    if (hashing)
        digest.addData(data);
}

void DownLoadManager::onFinished()
{
    const int statusCode = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    stallTimer->stop();
    if (restartPending)
        return restartFromZero();
    // Qt reports an error through errorOccurred first; one that shows only here is still a
    // failed download, never a finished one.
    if (reply->error() != QNetworkReply::NoError)
        return transferFailed(reply->error());
    // close() flushes what is left; a failure there means bytes that never reached the disk.
    file->close();
    const bool closedCleanly = file->error() == QFileDevice::NoError;
    stopped = true;
    if (!closedCleanly)
        return fail(Error::FileError, QStringLiteral("write installer failed"));
    if (!verified() || !moveIntoPlace())
        return;
    QFile::remove(stateFilePath());
    emit signalReplyFinished(statusCode);
}

bool DownLoadManager::verified()
{
    if (expected.size >= 0 && written != expected.size) {
        fail(Error::SizeMismatch, QStringLiteral("installer size mismatch"));
        return false;
    }
    const QByteArray actual = digest.result();
    if (!expected.sha256.isEmpty() && actual != expected.sha256) {
        fail(Error::ChecksumMismatch, QStringLiteral("installer checksum mismatch"));
        return false;
    }
    return true;
}

bool DownLoadManager::moveIntoPlace()
{
    const qsizetype cut = tempFilePath.lastIndexOf(tempSuffix);
    const QString finalPath = cut < 0 ? tempFilePath : tempFilePath.left(cut);
    // Whatever stands at the installer's name must go, or the older file would be started.
    if (QFileInfo::exists(finalPath) && !removeWhenFree(finalPath)) {
        fail(Error::FileError, QStringLiteral("remove old installer failed"));
        return false;
    }
    if (!renameWhenFree(tempFilePath, finalPath)) {
        fail(Error::FileError, QStringLiteral("rename installer failed"));
        return false;
    }
    return true;
}

void DownLoadManager::onError(QNetworkReply::NetworkError code)
{
    transferFailed(code);
}

void DownLoadManager::transferFailed(QNetworkReply::NetworkError code)
{
    if (restartPending)
        return restartFromZero();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!stopped && retries < RetryPolicy::maxRetries && RetryPolicy::isTransient(code, status))
        return retryLater();
    fail(Error::NetworkError, code == QNetworkReply::TimeoutError
                                  ? QStringLiteral("download stalled")
                                  : reply->errorString());
}

// The window keeps showing the download meanwhile; cancelTransfer ends the wait too.
void DownLoadManager::retryLater()
{
    const int wanted = Limits::downloadRetryWaitMs(
        RetryPolicy::waitMs(retries + 1, reply->rawHeader("Retry-After")));
    const int waitMs =
        int(qBound(qint64(0), Limits::downloadRetryWaitTotalMs() - waitedMs, qint64(wanted)));
    detachReply();
    file->close();
    // Without a state the bytes so far cannot be trusted to continue; the next try starts over.
    resumeFrom = QFileInfo::exists(stateFilePath()) ? written : 0;
    ++retries;
    waitedMs += waitMs;
    writeUpdateLog(QStringLiteral("download retry %1").arg(retries));
    retryTimer->start(waitMs);
}

void DownLoadManager::fail(Error error, const QString &text)
{
    lastError = error;
    lastErrorText = text;
    stopped = true;
    file->close();
    discardDownload();
    emit signalDownloadError(error);
}

DownLoadManager::Error DownLoadManager::error() const
{
    return lastError;
}

QString DownLoadManager::errorString() const
{
    return lastErrorText;
}

void DownLoadManager::cancelTransfer()
{
    stopped = true;
    retryTimer->stop();
    if (file && file->isOpen())
        file->close();
    detachReply();
}

void DownLoadManager::detachReply()
{
    stallTimer->stop();
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
    QFile::remove(stateFilePath());
}

QString DownLoadManager::stateFilePath() const
{
    return tempFilePath + QStringLiteral(".part");
}

// Before the first byte, so that a full disk shows at once and not as a failed write at the end.
bool DownLoadManager::enoughDiskSpace() const
{
    if (expected.size < 0)
        return true;
    const QStorageInfo volume(QFileInfo(tempFilePath).absolutePath());
    return !volume.isValid() || volume.bytesAvailable() < 0 ||
           volume.bytesAvailable() >= expected.size - resumeFrom + Limits::diskSpaceMarginBytes();
}
