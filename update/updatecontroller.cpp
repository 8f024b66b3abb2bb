#include "update/updatecontroller.h"

#include "core/productpaths.h"
#include "core/updatelog.h"
#include "update/downloadmanager.h"
#include "update/installerstart.h"
#include "update/networksetup.h"
#include "update/updatefolder.h"
#include "update/versioncheck.h"
#include "update/versionrequest.h"

#include <QAuthenticator>
#include <QDir>
#include <QFileInfo>
#include <QNetworkProxy>

UpdateController::UpdateController(QObject *parent)
    : QObject(parent), downloads(new DownLoadManager(this))
{
    // The version request and the download share the download manager's network access manager.
    setUpProxyOverride(downloads->networkManager());
    connect(downloads, &DownLoadManager::signalDownloadProcess, this,
            &UpdateController::progressChanged);
    connect(downloads, &DownLoadManager::signalReplyFinished, this,
            &UpdateController::downloadFinished);
    connect(downloads, &DownLoadManager::signalDownloadError, this,
            [this] { failDownload(downloads->errorString()); });
    connect(downloads, &DownLoadManager::signalProxyLogin, this,
            [this](const QNetworkProxy &proxy, QAuthenticator *authenticator) {
                if (request)
                    request->holdDeadline(true);
                emit proxyLoginRequired(proxy, authenticator);
                if (request)
                    request->holdDeadline(false);
            });
}

void UpdateController::setAppVersion(qint64 appVersion)
{
    version = appVersion;
}

void UpdateController::setInstalledVersion(const QString &dotted)
{
    installedVersion = dotted;
}

qint64 UpdateController::appVersion() const
{
    return version;
}

UpdateController::State UpdateController::state() const
{
    return current;
}

bool UpdateController::hasUpdate() const
{
    return offered;
}

QString UpdateController::installerPath() const
{
    return QDir::toNativeSeparators(updateFolderPath()) + installerName;
}

void UpdateController::setState(State next, bool offer)
{
    current = next;
    offered = offer && next == State::Idle;
    emit stateChanged(next);
}

void UpdateController::activate()
{
    switch (current) {
    case State::Idle:
        return offered ? startDownload() : check();
    case State::Downloading:
        return cancelDownload();
    case State::Checking:
    case State::Installing:
        return;
    }
}

// --- Version query

void UpdateController::check()
{
    setState(State::Checking);
    request = new VersionRequest(downloads->networkManager(), versionServiceUrl(), this);
    connect(request, &VersionRequest::finished, this, [this](const QByteArray &body) {
        request->deleteLater();
        evaluateReply(body);
    });
}

void UpdateController::evaluateReply(const QByteArray &body)
{
    const VersionCheck check = evaluateVersionReply(body, version, installedVersion);
    if (!check.logLine.isEmpty())
        writeUpdateLog(check.logLine);
    for (const QString &line : check.infoLines)
        emit infoAdded(line);
    if (check.hasUpdate) {
        installerName = check.installerName;
        updateAddress = check.updateAddress;
        expectation = check.expectation;
    }
    setState(State::Idle, check.hasUpdate);
    emit checkFinished(check.errorText);
}

// --- Download

void UpdateController::startDownload()
{
    emit infoAdded(tr("Downloading..."));
    if (updateAddress.isEmpty() || installerName.isEmpty())
        return setState(State::Idle);
    writeUpdateLog(QStringLiteral("prepare to download update"));
    // The state is set first: a download that fails at once comes back through failDownload.
    setState(State::Downloading);
    if (!makeUpdateFolder()) {
        return failDownload(QStringLiteral("create update folder failed"));
    }
    downloads->startDownload(updateAddress, installerPath(), expectation);
}

void UpdateController::cancelDownload()
{
    downloads->cancelTransfer();
    setState(State::Idle);
}

void UpdateController::failDownload(const QString &reason)
{
    if (!reason.isEmpty())
        writeUpdateLog(reason);
    writeUpdateLog(QStringLiteral("download failed"));
    setState(State::Idle);
    emit downloadFailed();
}

// --- Hand-off to the installer

void UpdateController::downloadFinished()
{
    setState(State::Installing);
    emit installFinished(startInstaller());
}

bool UpdateController::startInstaller()
{
    const QString path = installerPath();
    if (!QFileInfo(path).isFile()) {
        writeUpdateLog(QStringLiteral("install file %1 not exist").arg(installerName));
        return false;
    }
    // Hashed once more right before the start, so that a file swapped since the download shows.
    switch (startCheckedInstaller(path, expectation.sha256)) {
    case InstallerStart::Started:
        writeUpdateLog(QStringLiteral("install start success"));
        return true;
    case InstallerStart::Changed:
        writeUpdateLog(QStringLiteral("install file %1 changed").arg(installerName));
        return false;
    case InstallerStart::StartFailed:
        break;
    }
    writeUpdateLog(QStringLiteral("install start failed"));
    return false;
}
