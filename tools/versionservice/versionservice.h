#pragma once

#include "tools/httpsserver/localhttpsserver.h"
#include "tools/signing/installersigner.h"
#include "tools/versionservice/serviceoptions.h"

#include <QJsonObject>
#include <QObject>

class RequestLog;

// The vendor's version service in small: the version reply for Windows and one installer file,
// over HTTPS on 127.0.0.1, with optional faults. The reply states the installer's size, digest
// and signature, made with a key pair generated at start.
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
    // The public key of this run, for the updater's GLIMMERPANE_UPDATE_PUBLIC_KEY.
    QByteArray publicKeyBase64() const { return signer.publicKeyBase64(); }

private:
    void handle(const HttpRequest &request, HttpResponse &response);
    bool isVersionRequest(const HttpRequest &request) const;
    QString installerPathOnServer() const;
    void answerVersion(HttpResponse &response) const;
    void answerInstaller(HttpResponse &response);

    ServiceOptions options;
    RequestLog *requestLog;
    LocalHttpsServer *server;
    QString releaseNotes;
    InstallerSigner signer;
    QJsonObject integrity; // "size", "sha256", "signature" of the installer; empty without one
    QString error;
    int installerRequests = 0;
};
