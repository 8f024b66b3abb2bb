#pragma once

#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>

class QFile;
class QNetworkAccessManager;

// Fetches one file over HTTP or HTTPS into "<target>_tmp" beside the target and moves it to
// the target name once the reply has finished without error. One download at a time.
class DownLoadManager : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownLoadManager)

public:
    explicit DownLoadManager(QObject *parent = nullptr);

    QNetworkAccessManager *networkManager() const;
    void startDownload(const QString &url, const QString &filePath);
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
    void failDownload();

    QNetworkAccessManager *accessManager = nullptr;
    QUrl url;
    QNetworkReply *reply = nullptr;
    QString tempFilePath;
    QFile *file = nullptr;
    bool stopped = false;
};
