#include "tools/versionservice/versionservice.h"

#include "tools/versionservice/requestlog.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString versionPath = QStringLiteral("/api/front/index/get/version");
constexpr int throttleIntervalMs = 100;
constexpr qint64 endlessBodyBytesPerInterval = 16 * 1024;

} // namespace

VersionService::VersionService(const ServiceOptions &options, RequestLog *requestLog,
                               QObject *parent)
    : QObject(parent), options(options), requestLog(requestLog),
      server(new LocalHttpsServer(LocalHttpsServer::Scheme::Https, this))
{
    server->setHandler(
        [this](const HttpRequest &request, HttpResponse &response) { handle(request, response); });
    connect(server, &LocalHttpsServer::responded, requestLog, &RequestLog::record);
}

bool VersionService::start()
{
    if (!options.releaseNotesPath.isEmpty()) {
        QFile notes(options.releaseNotesPath);
        if (!notes.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("cannot read %1: %2").arg(notes.fileName(), notes.errorString());
            return false;
        }
        releaseNotes = QString::fromUtf8(notes.readAll());
    }
    if (!options.installerPath.isEmpty()) {
        const std::optional<QJsonObject> members =
            // Signed for the version offered, as the updater reads "appVersion".
            signer.integrityMembers(options.installerPath, options.latestVersion.toInt(), &error);
        if (!members)
            return false;
        if (options.statesIntegrity)
            integrity = *members;
    }
    if (!server->setCertificate(options.certificatePath, options.keyPath)) {
        error = QStringLiteral("cannot use certificate %1 with key %2")
                    .arg(options.certificatePath, options.keyPath);
        return false;
    }
    if (!server->listen(options.port)) {
        error = QStringLiteral("cannot listen on 127.0.0.1:%1: %2")
                    .arg(options.port)
                    .arg(server->errorString());
        return false;
    }
    return true;
}

QUrl VersionService::origin() const
{
    return server->url(QString());
}

void VersionService::handle(const HttpRequest &request, HttpResponse &response)
{
    if (request.method == "GET" && isVersionRequest(request)) {
        answerVersion(response);
    } else if (request.method == "GET" && !options.installerPath.isEmpty() &&
               request.path == installerPathOnServer()) {
        answerInstaller(response);
    } else {
        response.setStatus(404);
        response.setBody("not found\n");
    }
}

bool VersionService::isVersionRequest(const HttpRequest &request) const
{
    const QList<QPair<QString, QString>> expected{
        {QStringLiteral("appPlatform"), QStringLiteral("Windows")}};
    return request.path == versionPath && request.query.queryItems() == expected;
}

QString VersionService::installerPathOnServer() const
{
    return QLatin1Char('/') + QFileInfo(options.installerPath).fileName();
}

void VersionService::answerVersion(HttpResponse &response) const
{
    const QString address = options.installerPath.isEmpty()
                                ? QString()
                                : server->url(installerPathOnServer()).toString();
    QJsonObject data = integrity;
    data.insert(QStringLiteral("appVersion"), options.latestVersion);
    data.insert(QStringLiteral("updateAddress"), address);
    data.insert(QStringLiteral("updateLog"), releaseNotes);
    const QJsonObject reply{{QStringLiteral("code"), options.code}, {QStringLiteral("data"), data}};
    QByteArray body = QJsonDocument(reply).toJson(QJsonDocument::Compact);

    response.setStatus(200);
    response.setHeader("Content-Type", "application/json; charset=utf-8");
    switch (options.fault) {
    case ServiceOptions::Fault::None:
        break;
    case ServiceOptions::Fault::Stall:
        response.stallAfter(0);
        break;
    case ServiceOptions::Fault::EndlessBody:
        // A trickle, so that a client which buffers it all does not run out of memory.
        response.setGeneratedBody(-1);
        response.throttle(endlessBodyBytesPerInterval, throttleIntervalMs);
        return;
    case ServiceOptions::Fault::InvalidJson:
        body.chop(body.size() / 2);
        break;
    case ServiceOptions::Fault::WrongInstaller:
    case ServiceOptions::Fault::ChangingEtag:
        break;
    }
    response.setBody(body);
}

void VersionService::answerInstaller(HttpResponse &response)
{
    response.setStatus(200);
    // Ranges of the installer are served; the tag changes with every request under
    // changing-etag, as when a file is replaced between a drop and the resume.
    ++installerRequests;
    const bool changing = options.fault == ServiceOptions::Fault::ChangingEtag;
    response.setEntityTag('"' + QByteArray::number(changing ? installerRequests : 1) + '"');
    if (installerRequests == 1 && options.dropAfterBytes >= 0)
        response.dropAfter(options.dropAfterBytes);
    response.setHeader("Content-Type", "application/octet-stream");
    if (options.fault == ServiceOptions::Fault::WrongInstaller)
        response.setGeneratedBody(
            QFileInfo(options.installerPath).size()); // as long, but other bytes
    else
        response.setBodyFile(options.installerPath);
    if (options.throttleBytesPerSecond > 0)
        response.throttle(
            qMax<qint64>(1, options.throttleBytesPerSecond * throttleIntervalMs / 1000),
            throttleIntervalMs);
}
