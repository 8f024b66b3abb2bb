#include "update/downloadmanager.h"

#include "update/installerdownload.h"

#include <QAuthenticator>
#include <QNetworkAccessManager>
#include <QNetworkProxy>

DownLoadManager::DownLoadManager(QObject *parent)
    : QObject(parent), accessManager(new QNetworkAccessManager(this))
{
    connect(accessManager, &QNetworkAccessManager::proxyAuthenticationRequired, this,
            [this](const QNetworkProxy &proxy, QAuthenticator *authenticator) {
                if (download)
                    download->holdWatchdog(true);
                emit signalProxyLogin(proxy, authenticator);
                if (download)
                    download->holdWatchdog(false);
            });
}

QNetworkAccessManager *DownLoadManager::networkManager() const
{
    return accessManager;
}

void DownLoadManager::startDownload(const QString &url, const QString &filePath,
                                    const InstallerExpectation &expectation)
{
    // A download still held (a finished one, or one the caller forgot to cancel) must not feed
    // the new file.
    cancelTransfer();
    last = DownloadResult();
    download = new InstallerDownload(accessManager, QUrl(url, QUrl::TolerantMode), filePath,
                                     expectation, this);
    connect(download, &InstallerDownload::progress, this, &DownLoadManager::signalDownloadProcess);
    connect(download, &InstallerDownload::finished, this, &DownLoadManager::onDownloadEnded);
    download->start();
}

void DownLoadManager::onDownloadEnded(const DownloadResult &result)
{
    last = result;
    if (result.error == Error::NoError)
        emit signalReplyFinished(result.statusCode);
    else
        emit signalDownloadError(result.error);
}

void DownLoadManager::cancelTransfer()
{
    if (!download)
        return;
    download->cancel();
    download->disconnect(this);
    download->deleteLater();
    download = nullptr;
}

void DownLoadManager::discardDownload()
{
    if (download)
        download->discard();
    cancelTransfer();
}

DownLoadManager::Error DownLoadManager::error() const
{
    return last.error;
}

QString DownLoadManager::errorString() const
{
    return last.errorString;
}
