#include "update/installerdownload.h"

#include "core/limits.h"
#include "core/updatelog.h"
#include "update/downloadfailure.h"
#include "update/resumedecision.h"
#include "update/retrybackoff.h"
#include "update/retrypolicy.h"
#include "update/stallwatchdog.h"
#include "update/vendorsignature.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>

namespace {

// Without a cap Qt's network thread keeps reading ahead of the disk writes and queues the data
// in memory; with one it waits until onReadyRead has taken what is there (bench/README.md).
constexpr qint64 readBufferBytes = 2 * 1024 * 1024;

QByteArray validatorOf(const QNetworkReply *reply)
{
    const QByteArray tag = reply->rawHeader("ETag");
    return tag.isEmpty() ? reply->rawHeader("Last-Modified") : tag;
}

} // namespace

InstallerDownload::InstallerDownload(QNetworkAccessManager *manager, const QUrl &url,
                                     const QString &targetPath,
                                     const InstallerExpectation &expectation, QObject *parent)
    : QObject(parent), accessManager(manager), url(url),
      // The state names the address without what may hold a token.
      address(
          url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo).toString()),
      expected(expectation), partial(targetPath), watchdog(new StallWatchdog(this)),
      backoff(new RetryBackoff(this))
{
    connect(watchdog, &StallWatchdog::stalled, this, [this] {
        writeUpdateLog(QStringLiteral("download stalled"));
        transferFailed(QNetworkReply::TimeoutError);
    });
    connect(backoff, &RetryBackoff::due, this, [this] {
        if (!startOverIfReplaced())
            sendRequest();
    });
}

void InstallerDownload::start()
{
    // data: and file: would "download" whatever they name.
    const QString scheme = url.scheme();
    if (scheme != QLatin1String("https") && scheme != QLatin1String("http"))
        return fail(DownloadResult::Error::InvalidAddress,
                    QStringLiteral("invalid update address"));
    // The signature covers the offered version, size and digest: a release relabelled as another
    // version is refused before anything is fetched. The bytes are then held to size and digest.
    if (!signedByVendor(expected))
        return fail(DownloadResult::Error::SignatureInvalid,
                    QStringLiteral("installer signature invalid"));
    if (!partial.open({address, expected.size, expected.sha256, {}}))
        return fail(DownloadResult::Error::FileError, QStringLiteral("open temporary file failed"));
    // Before the first byte, so that a full disk shows at once and not as a failed write.
    if (!partial.volumeHasRoom())
        return fail(DownloadResult::Error::NotEnoughSpace, QStringLiteral("not enough disk space"));
    sendRequest();
}

void InstallerDownload::sendRequest()
{
    // Bytes whose server named no validator cannot be continued.
    if (partial.size() > 0 && partial.validator().isEmpty() && !partial.startOver())
        return fail(DownloadResult::Error::FileError, QStringLiteral("write installer failed"));
    requestOffset = partial.size();
    body = Body::Pending;

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    if (requestOffset > 0) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(requestOffset) + '-');
        request.setRawHeader("If-Range", partial.validator());
        // Qt would otherwise ask for gzip, and a range of the compressed body is another thing.
        request.setRawHeader("Accept-Encoding", "identity");
    }
    reply = accessManager->get(request);
    reply->setReadBufferSize(readBufferBytes);
    watchdog->start();

    connect(reply, &QNetworkReply::downloadProgress, this, &InstallerDownload::onDownloadProgress);
    connect(reply, &QIODevice::readyRead, this, &InstallerDownload::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &InstallerDownload::onFinished);
    connect(reply, &QNetworkReply::errorOccurred, this, &InstallerDownload::onError);
    connect(reply, &QNetworkReply::metaDataChanged, this, &InstallerDownload::onResponseHead);
}

void InstallerDownload::onResponseHead()
{
    watchdog->noteData(0);
    ResumeHead head;
    head.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A redirect or an error status has a body of its own, never the file's.
    if (stopped || (head.status != 200 && head.status != 206 && head.status != 416))
        return;
    head.contentRange = reply->rawHeader("Content-Range");
    head.validatorSent = requestOffset > 0 ? partial.validator() : QByteArray();
    head.validatorGiven = validatorOf(reply);
    head.offset = requestOffset;
    head.size = expected.size;
    switch (decideResume(head)) {
    case ResumeAction::Refuse:
        body = Body::Refused; // once this response has ended, the whole file is fetched
        return;
    case ResumeAction::StartOver:
        requestOffset = 0;
        if (!partial.startOver())
            return fail(DownloadResult::Error::FileError, QStringLiteral("write installer failed"));
        break;
    case ResumeAction::Append:
        break;
    }
    body = Body::File;
    keepOrForgetState();
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    // A compressed body announces the compressed length; the count at the end still holds.
    if (expected.size < 0 || !announced.isValid() || reply->hasRawHeader("Content-Encoding"))
        return;
    if (announced.toLongLong() != expected.size - requestOffset)
        fail(DownloadResult::Error::SizeMismatch, QStringLiteral("installer size mismatch"));
}

// Only a response that serves ranges, uncompressed, can be continued later.
void InstallerDownload::keepOrForgetState()
{
    const bool ranges =
        reply->rawHeader("Accept-Ranges").trimmed().toLower() == "bytes" || requestOffset > 0;
    if (ranges && !reply->hasRawHeader("Content-Encoding"))
        partial.keepState(validatorOf(reply));
    else
        partial.forgetState();
}

// The kept bytes no longer fit the server's file: they go, and the whole file is fetched.
void InstallerDownload::restartFromZero()
{
    if (requestOffset == 0)
        return fail(DownloadResult::Error::SizeMismatch, QStringLiteral("installer size mismatch"));
    detachReply();
    partial.forgetState();
    if (!partial.startOver())
        return fail(DownloadResult::Error::FileError, QStringLiteral("write installer failed"));
    sendRequest();
}

void InstallerDownload::onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    if (stopped || body != Body::File)
        return;
    // Counted over the whole file, so that the bar goes on from where a resume starts.
    const qint64 total = bytesTotal < 0 ? -1 : requestOffset + bytesTotal;
    emit progress(requestOffset + bytesReceived, total);
}

void InstallerDownload::onReadyRead()
{
    if (stopped)
        return;
    // One read of all there is, into a buffer kept across chunks: readAll() reads in 16 KiB
    // steps, and with a read buffer cap each step wakes Qt's network thread.
    chunk.resize(reply->bytesAvailable());
    const qint64 count = reply->read(chunk.data(), chunk.size());
    const QByteArrayView data(chunk.constData(), qMax(count, qint64(0)));
    watchdog->noteData(data.size());
    if (body != Body::File)
        return; // an error page
    if (expected.size >= 0 && partial.size() + data.size() > expected.size)
        return fail(DownloadResult::Error::SizeMismatch, QStringLiteral("installer size mismatch"));
    // A short write (full disk, size limit) must never end as a truncated installer.
    if (!partial.write(data))
        return fail(DownloadResult::Error::FileError, QStringLiteral("write installer failed"));
}

void InstallerDownload::onFinished()
{
    const int statusCode = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    watchdog->stop();
    if (body == Body::Refused)
        return restartFromZero();
    // Qt reports an error through errorOccurred first; one that shows only here is still a
    // failed download, never a finished one.
    if (reply->error() != QNetworkReply::NoError)
        return transferFailed(reply->error());
    if (startOverIfReplaced())
        return;
    stopped = true;
    if (!partial.close())
        return fail(DownloadResult::Error::FileError, QStringLiteral("write installer failed"));
    switch (partial.check()) {
    case PartialFile::Check::SizeMismatch:
        return fail(DownloadResult::Error::SizeMismatch, QStringLiteral("installer size mismatch"));
    case PartialFile::Check::ChecksumMismatch:
        return fail(DownloadResult::Error::ChecksumMismatch,
                    QStringLiteral("installer checksum mismatch"));
    case PartialFile::Check::Whole:
        break;
    }
    const QString moveFailure = partial.moveIntoPlace();
    if (!moveFailure.isEmpty())
        return fail(DownloadResult::Error::FileError, moveFailure);
    emit finished({DownloadResult::Error::NoError, QString(), statusCode});
}

// Something put at the temporary name meanwhile (a link, another file) is removed, never written
// through or moved into place: the download starts over in a file of its own.
bool InstallerDownload::startOverIfReplaced()
{
    if (partial.stillOurs())
        return false;
    detachReply();
    partial.discard();
    if (partial.open({address, expected.size, expected.sha256, {}}))
        sendRequest();
    else
        fail(DownloadResult::Error::FileError, QStringLiteral("open temporary file failed"));
    return true;
}

void InstallerDownload::onError(QNetworkReply::NetworkError code)
{
    transferFailed(code);
}

void InstallerDownload::transferFailed(QNetworkReply::NetworkError code)
{
    if (body == Body::Refused)
        return restartFromZero();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!stopped && RetryPolicy::isTransient(code, status) && retryLater())
        return;
    // A stall is logged as it happens, so it leaves no text of its own here.
    fail(DownloadResult::Error::NetworkError,
         code == QNetworkReply::TimeoutError ? QString() : downloadFailureReason(code, status));
}

// The window keeps showing the download meanwhile; cancel() ends the wait too.
bool InstallerDownload::retryLater()
{
    if (!partial.validator().isEmpty() && partial.size() > requestOffset)
        backoff->restart();
    if (!backoff->schedule(reply->rawHeader("Retry-After")))
        return false;
    detachReply();
    writeUpdateLog(QStringLiteral("download retry %1").arg(backoff->retries()));
    return true;
}

void InstallerDownload::fail(DownloadResult::Error error, const QString &text)
{
    // The text is read before the reply goes.
    const DownloadResult result{error, text, 0};
    // Bytes a network fault left are good for a later run; the rest go.
    if (error == DownloadResult::Error::NetworkError && !partial.validator().isEmpty())
        cancel();
    else
        discard();
    emit finished(result);
}

void InstallerDownload::cancel()
{
    stopped = true;
    backoff->cancel();
    partial.close();
    detachReply();
}

void InstallerDownload::discard()
{
    cancel();
    partial.discard();
}

void InstallerDownload::holdWatchdog(bool held)
{
    watchdog->hold(held);
}

void InstallerDownload::detachReply()
{
    watchdog->stop();
    if (!reply)
        return;
    disconnect(reply, nullptr, this, nullptr);
    // A reply that has already failed has stopped; aborting it again only makes Qt warn.
    if (reply->error() == QNetworkReply::NoError)
        reply->abort();
    reply->deleteLater();
    reply = nullptr;
}
