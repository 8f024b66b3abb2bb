#include "update/updatecontroller.h"

#include "core/productpaths.h"
#include "core/releaseversion.h"
#include "core/updatelog.h"
#include "update/downloadmanager.h"
#include "update/installerreuse.h"
#include "update/installrecord.h"
#include "update/networksetup.h"
#include "update/updatefolder.h"
#include "update/versioncheck.h"
#include "update/versionrequest.h"

#include <QAuthenticator>
#include <QDateTime>
#include <QDir>
#include <QFile>
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
    return QDir::toNativeSeparators(updateFolder()) + installerName;
}

bool UpdateController::installReady() const
{
    return offered && declined;
}

void UpdateController::setState(State next, bool offer)
{
    current = next;
    offered = offer && next == State::Idle;
    declined = declined && offered;
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
    setUpNetwork();
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
    if (check.hasUpdate) {
        installerName = check.installerName;
        updateAddress = check.updateAddress;
        expectation = check.expectation;
    }
    setState(State::Idle, check.hasUpdate);
    emit checkFinished(check);
}

// --- Download

void UpdateController::startDownload()
{
    if (declined) // the installer is there; its start checks it once more
        return downloadFinished();
    if (updateAddress.isEmpty() || installerName.isEmpty()) {
        emit downloadStarting();
        return setState(State::Idle);
    }
    writeUpdateLog(QStringLiteral("prepare to download update"));
    // The state is set first: a download that fails at once comes back through failDownload.
    setState(State::Downloading);
    if (!makeUpdateFolder()) {
        return failDownload(QStringLiteral("create update folder failed"));
    }
    if (installerReusable(installerPath(), expectation)) {
        writeUpdateLog(QStringLiteral("installer already downloaded"));
        return downloadFinished();
    }
    emit downloadStarting();
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
    declined = false;
    setState(State::Installing);
    const InstallerStart started = startInstaller();
    if (started != InstallerStart::Cancelled) {
        emit installFinished(started == InstallerStart::Started);
        return;
    }
    declined = true;
    setState(State::Idle, true);
    emit installDeclined();
}

InstallerStart UpdateController::startInstaller()
{
    const QString path = installerPath();
    if (!QFileInfo(path).isFile()) {
        writeUpdateLog(QStringLiteral("install file %1 not exist").arg(installerName));
        return InstallerStart::StartFailed;
    }
    // Written first: once the installer runs, the updater may be gone before it could be.
    const InstallRecord record{expectation.version, expectation.versionText, installerName,
                               expectation.sha256, QDateTime::currentDateTimeUtc()};
    if (!record.write(updateFolder()))
        writeUpdateLog(QStringLiteral("write install record failed"));
    // Hashed once more right before the start, so that a file swapped since the download shows.
    const InstallerStart started = startCheckedInstaller(path, expectation.sha256);
    switch (started) {
    case InstallerStart::Started:
        writeUpdateLog(QStringLiteral("install start success"));
        break;
    case InstallerStart::Changed:
        writeUpdateLog(QStringLiteral("install file %1 changed").arg(installerName));
        break;
    case InstallerStart::Cancelled:
        writeUpdateLog(QStringLiteral("install start cancelled"));
        break;
    case InstallerStart::StartFailed:
        writeUpdateLog(QStringLiteral("install start failed"));
        break;
    }
    return started;
}

// --- The last run's installer, at the next start

void UpdateController::reviewLastInstall()
{
    const QString folder = updateFolder();
    const QString recordPath = InstallRecord::path(folder);
    if (version == 0 || !QFileInfo::exists(recordPath))
        return;
    const std::optional<InstallRecord> record = InstallRecord::read(folder);
    constexpr qint64 keptSeconds = 30 * 24 * 3600;
    const qint64 age = record ? record->time.secsTo(QDateTime::currentDateTimeUtc()) : -1;
    if (age < 0 || age > keptSeconds) { // a time ahead of the clock is as unreadable
        QFile::remove(recordPath);
        return writeUpdateLog(QStringLiteral("install record dropped"));
    }
    // Dotted versions order part by part; the digits alone only where one side has no dots.
    const std::optional<int> order = compareVersions(installedVersion, record->versionText);
    if (order ? *order < 0 : version < record->version) {
        writeUpdateLog(QStringLiteral("update to %1 not installed").arg(record->version));
        emit lastUpdateNotInstalled();
        return;
    }
    writeUpdateLog(QStringLiteral("update to %1 installed").arg(record->version));
    // While the installer cannot go (still running), its record stays to try again next time.
    const QString installer = folder + record->installerName;
    if (!QFileInfo::exists(installer) || QFile::remove(installer))
        QFile::remove(recordPath);
}
