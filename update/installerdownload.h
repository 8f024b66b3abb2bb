#pragma once

#include "update/downloadresult.h"
#include "update/installerexpectation.h"
#include "update/partialfile.h"

#include <QNetworkReply>
#include <QObject>
#include <QUrl>

class QNetworkAccessManager;
class RetryBackoff;
class StallWatchdog;

// One installer download: the requests (ranges from the kept bytes, a read cap), their retries
// and the stall watchdog. The bytes go to a PartialFile, which checks and places them; the end
// is one DownloadResult. The vendor's signature over the stated release is checked before the
// first request, the free space too.
class InstallerDownload : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InstallerDownload)

public:
    InstallerDownload(QNetworkAccessManager *manager, const QUrl &url, const QString &targetPath,
                      const InstallerExpectation &expectation, QObject *parent = nullptr);

    // May finish before it returns, when something is refused before any request.
    void start();
    // Stops and keeps the partial file for a later try.
    void cancel();
    // Stops; both files go.
    void discard();
    // While a person answers the proxy's login, the stall watchdog waits.
    void holdWatchdog(bool held);

signals:
    void progress(qint64 received, qint64 total);
    void finished(const DownloadResult &result);

public slots:
    void onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void onReadyRead();
    void onFinished();
    void onError(QNetworkReply::NetworkError code);

private:
    // What the current response's body is to the file.
    enum class Body { Pending, File, Refused };

    void sendRequest();
    void onResponseHead();
    void keepOrForgetState();
    void restartFromZero();
    bool startOverIfReplaced();
    void transferFailed(QNetworkReply::NetworkError code);
    bool retryLater();
    void detachReply();
    void fail(DownloadResult::Error error, const QString &text);

    QNetworkAccessManager *accessManager;
    const QUrl url;
    const QString address;
    const InstallerExpectation expected;
    PartialFile partial;
    StallWatchdog *watchdog;
    RetryBackoff *backoff;
    QNetworkReply *reply = nullptr;
    QByteArray chunk;         // what onReadyRead takes from the reply, its memory reused
    qint64 requestOffset = 0; // where the current request starts in the file
    Body body = Body::Pending;
    bool stopped = false;
};
