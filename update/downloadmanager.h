#pragma once

#include "update/downloadresult.h"
#include "update/installerexpectation.h"

#include <QObject>
#include <QPointer>
#include <QString>

class InstallerDownload;
class QAuthenticator;
class QNetworkAccessManager;
class QNetworkProxy;

// Fetches one installer at a time into "<target>_tmp" beside the target and moves it to the
// target name once it is whole and what the expectation states (length, SHA-256, the vendor's
// signature over that statement). Each download is an InstallerDownload of its own; this is
// their face: one network access manager, the signals, and the last download's failure.
class DownLoadManager : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownLoadManager)

public:
    using Error = DownloadResult::Error;

    explicit DownLoadManager(QObject *parent = nullptr);

    QNetworkAccessManager *networkManager() const;
    void startDownload(const QString &url, const QString &filePath,
                       const InstallerExpectation &expectation = InstallerExpectation());
    // Stops the download and keeps its partial file for a later try.
    void cancelTransfer();
    // Stops the download; its files go.
    void discardDownload();
    // The last download's failure, or NoError; the string is the update log's line for it.
    Error error() const;
    QString errorString() const;

signals:
    void signalDownloadError(DownLoadManager::Error error);
    void signalReplyFinished(int statusCode);
    void signalDownloadProcess(qint64 curReceived, qint64 total);
    // The proxy wants credentials; a receiver fills them in before it returns, or leaves them
    // empty to fail the request. The stall watchdog waits meanwhile.
    void signalProxyLogin(const QNetworkProxy &proxy, QAuthenticator *authenticator);

private:
    void onDownloadEnded(const DownloadResult &result);

    QNetworkAccessManager *accessManager;
    // Kept after its end until the next download or cancel.
    QPointer<InstallerDownload> download;
    DownloadResult last;
};
