#include "download/downloadmanager.h"

#include "app/limits.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

namespace {

const QString tempSuffix = QStringLiteral("_tmp");
// Without a cap Qt's network thread keeps reading ahead of the disk writes and queues the data
// in memory; with one it waits until onReadyRead has taken what is there.
constexpr qint64 readBufferBytes = 1024 * 1024;

} // namespace

DownLoadManager::DownLoadManager(QObject *parent) : QObject(parent)
{
    accessManager = new QNetworkAccessManager(this);
}

QNetworkAccessManager *DownLoadManager::networkManager() const
{
    return accessManager;
}

void DownLoadManager::startDownload(const QString &url, const QString &filePath)
{
    // A reply still held (a finished one, or one the caller forgot to cancel) must not feed
    // the new file.
    if (reply)
        cancelTransfer();

    this->url = QUrl(url, QUrl::TolerantMode);
    tempFilePath = filePath + tempSuffix;
    if (QFileInfo::exists(tempFilePath))
        QFile::remove(tempFilePath);
    stopped = false;

    delete file;
    file = new QFile(tempFilePath, this);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append))
        return;

    QNetworkRequest request(this->url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(Limits::transferInactivityMs());
    reply = accessManager->get(request);
    reply->setReadBufferSize(readBufferBytes);

    connect(reply, &QNetworkReply::downloadProgress, this, &DownLoadManager::onDownloadProgress);
    connect(reply, &QIODevice::readyRead, this, &DownLoadManager::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &DownLoadManager::onFinished);
    connect(reply, &QNetworkReply::errorOccurred, this, &DownLoadManager::onError);
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
    const QByteArray data = reply->readAll();
    // A short write (full disk, size limit) must never end as a truncated installer.
    if (file->write(data) != data.size() || !file->flush())
        failDownload();
}

void DownLoadManager::onFinished()
{
    const int statusCode = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    file->close();
    stopped = true;

    if (reply->error() == QNetworkReply::NoError && QFileInfo::exists(tempFilePath)) {
        const qsizetype cut = tempFilePath.lastIndexOf(tempSuffix);
        const QString finalPath = cut < 0 ? tempFilePath : tempFilePath.left(cut);
        if (QFileInfo::exists(finalPath))
            QFile::remove(finalPath);
        QFile::rename(tempFilePath, finalPath);
    }
    emit signalReplyFinished(statusCode);
}

void DownLoadManager::onError(QNetworkReply::NetworkError code)
{
    Q_UNUSED(code)
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
    if (file && file->isOpen())
        file->close();
    if (reply) {
        disconnect(reply, &QNetworkReply::downloadProgress, this,
                   &DownLoadManager::onDownloadProgress);
        disconnect(reply, &QIODevice::readyRead, this, &DownLoadManager::onReadyRead);
        disconnect(reply, &QNetworkReply::finished, this, &DownLoadManager::onFinished);
        disconnect(reply, &QNetworkReply::errorOccurred, this, &DownLoadManager::onError);
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
