#pragma once

#include "update/installerexpectation.h"
#include "update/sha256.h"

#include <QElapsedTimer>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>

class QFile;
class QNetworkAccessManager;
class QTimer;

// Fetches one file over HTTP or HTTPS into "<target>_tmp" beside the target and moves it to
// the target name once the reply has finished without error and the bytes are what the
// expectation states (length, SHA-256), after the vendor's signature over that statement has been
// checked before the request. One download at a time. Every
// failure, also one before any request is sent, ends in signalDownloadError with the temporary
// file deleted and the step named in the update log.
class DownLoadManager : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownLoadManager)

public:
    explicit DownLoadManager(QObject *parent = nullptr);

    QNetworkAccessManager *networkManager() const;
    void startDownload(const QString &url, const QString &filePath,
                       const InstallerExpectation &expectation = InstallerExpectation());
    void cancelTransfer();
    void discardDownload();

signals:
    void signalDownloadError();
    void signalReplyFinished(int statusCode);
    void signalDownloadProcess(int curReceived, int total);

public slots:
    void onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void onReadyRead();
    void onFinished();
    void onError(QNetworkReply::NetworkError code);

private:
    void checkStall();
    void checkAnnouncedLength();
    // The reason for the log when the finished bytes are not the stated installer; empty when
    // they are.
    QString verificationFailure();
    // Whether the answer is the installer, not a redirect or an error page.
    bool carriesInstaller() const;
    bool moveIntoPlace();
    void fail(const QString &logLine);
    void failDownload();

    QNetworkAccessManager *accessManager = nullptr;
    QUrl url;
    QNetworkReply *reply = nullptr;
    QString tempFilePath;
    QFile *file = nullptr;
    bool stopped = false;
    InstallerExpectation expected;
    qint64 written = 0;
    Sha256 digest;
    bool hashing = false;
    // Our own inactivity watchdog: QNetworkRequest::setTransferTimeout re-arms Qt's timer with a
    // queued call for every chunk received, an event and a wake-up each time.
    QTimer *stallTimer = nullptr;
    QElapsedTimer sinceLastData;
};
