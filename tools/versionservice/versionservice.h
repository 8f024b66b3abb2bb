#pragma once

#include "tools/httpsserver/localhttpsserver.h"
#include "tools/versionservice/serviceoptions.h"

#include <QObject>

class RequestLog;

// The vendor's version service in small: the version reply for Windows and one installer file,
// over HTTPS on 127.0.0.1, with optional faults in the version reply.
class VersionService : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VersionService)

public:
    VersionService(const ServiceOptions &options, RequestLog *requestLog, QObject *parent);

    // Reads the release notes and the certificate and starts listening.
    bool start();
    QString errorString() const { return error; }
    QUrl origin() const;

private:
    void handle(const HttpRequest &request, HttpResponse &response);
    bool isVersionRequest(const HttpRequest &request) const;
    QString installerPathOnServer() const;
    void answerVersion(HttpResponse &response) const;
    void answerInstaller(HttpResponse &response) const;

    ServiceOptions options;
    RequestLog *requestLog;
    LocalHttpsServer *server;
    QString releaseNotes;
    QString error;
};
