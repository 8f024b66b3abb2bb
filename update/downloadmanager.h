#pragma once

#include "update/installerexpectation.h"
#include "update/sha256.h"

#include <QElapsedTimer>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>

class QAuthenticator;
class QFile;
class QNetworkProxy;
class QNetworkAccessManager;
class QTimer;

// Fetches one file over HTTP or HTTPS into "<target>_tmp" beside the target and moves it to
// the target name once the reply has finished without error and the bytes are what the
// expectation states (length, SHA-256), after the vendor's signature over that statement has been
// checked before the request. One download at a time. A transient fault is retried after a
// back-off ("download retry <n>"); a partial file whose server named a validator and serves
// ranges is continued with Range/If-Range, also by a later run, as "<target>_tmp.part" records.
// Every other failure, also one before any request is sent, ends in signalDownloadError with
// the temporary files deleted; error() and errorString() say which step failed.
class DownLoadManager : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownLoadManager)

public:
    enum class Error {
        NoError,
        InvalidAddress,
        SignatureInvalid,
        NotEnoughSpace,
        FileError,
        SizeMismatch,
        ChecksumMismatch,
        // The connection or the server failed, after any retries; errorString() names the HTTP
        // status or the kind of error (empty for a stall, which is logged as it happens).
        NetworkError,
    };
    Q_ENUM(Error)

    explicit DownLoadManager(QObject *parent = nullptr);

    QNetworkAccessManager *networkManager() const;
    void startDownload(const QString &url, const QString &filePath,
                       const InstallerExpectation &expectation = InstallerExpectation());
    void cancelTransfer();
    void discardDownload();
    // The last download's failure, or NoError; the string is the update log's line for it.
    Error error() const;
    QString errorString() const;

signals:
    void signalDownloadError(DownLoadManager::Error error);
    void signalReplyFinished(int statusCode);
    void signalDownloadProcess(qint64 curReceived, qint64 total);
    // The proxy wants credentials; a receiver fills them in before it returns, or leaves them
    // empty to fail the request. The inactivity watchdog waits meanwhile.
    void signalProxyLogin(const QNetworkProxy &proxy, QAuthenticator *authenticator);

public slots:
    void onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void onReadyRead();
    void onFinished();
    void onError(QNetworkReply::NetworkError code);

private:
    void sendRequest();
    bool hashKeptBytes();
    void checkStall();
    void onResponseHead();
    void keepOrForgetState();
    void restartFromZero();
    void transferFailed(QNetworkReply::NetworkError code);
    void retryLater();
    void detachReply();
    QString stateFilePath() const;
    bool enoughDiskSpace() const;
    // Whether the finished bytes are the stated installer; fails the download when not.
    bool verified();
    bool moveIntoPlace();
    void fail(Error error, const QString &text);

    QNetworkAccessManager *accessManager = nullptr;
    QUrl url;
    QNetworkReply *reply = nullptr;
    QString tempFilePath;
    QFile *file = nullptr;
    bool stopped = false;
    Error lastError = Error::NoError;
    QString lastErrorText;
    InstallerExpectation expected;
    qint64 written = 0;
    QByteArray chunk; // what onReadyRead takes from the reply, its memory reused
    Sha256 digest;
    bool hashing = false;
    // Our own inactivity watchdog: QNetworkRequest::setTransferTimeout re-arms Qt's timer with a
    // queued call for every chunk received, an event and a wake-up each time.
    QTimer *stallTimer = nullptr;
    QElapsedTimer sinceLastData;
    // Retries of this download so far, and their back-off waits in all.
    int retries = 0;
    qint64 waitedMs = 0;
    QTimer *retryTimer = nullptr;
    // Where the current request starts in the file: the bytes kept from before, 0 without them.
    qint64 resumeFrom = 0;
    // The current response is the file (200, or 206 from resumeFrom); an error body never is.
    bool bodyAccepted = false;
    // The kept bytes do not fit the server's file (416, another range): once this response has
    // ended, both files go and the whole file is fetched.
    bool restartPending = false;
};
