#pragma once

#include "update/installerexpectation.h"
#include "update/installerstart.h"
#include "update/versioncheck.h"

#include <QObject>
#include <QPointer>
#include <QString>

class DownLoadManager;
class VersionRequest;
class QAuthenticator;
class QNetworkProxy;

// One update from the question to the installer's start, without any widget: it owns the
// state, writes the update log and reports what a window shows. Its one input is activate(),
// the update button: check for an update, download the one offered, or cancel the download.
class UpdateController : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UpdateController)

public:
    enum class State { Idle, Checking, Downloading, Installing };
    Q_ENUM(State)

    explicit UpdateController(QObject *parent = nullptr);

    void setAppVersion(qint64 version);
    // The installed version as the command line gave it, dots included ("1.0.10").
    void setInstalledVersion(const QString &dotted);
    qint64 appVersion() const;
    State state() const;
    // An update has been found and not yet taken; only while Idle.
    bool hasUpdate() const;
    // The user declined the installer's elevation prompt: activate() starts the installer in
    // the update folder again, checked once more and not downloaded again. Only while Idle.
    bool installReady() const;
    QString installerPath() const;

    // At start, with the version handed over: whether the installer that the last run started
    // took effect. The record of it goes once the version is there ("update to <v> installed",
    // with the installer) or after 30 days; until then each start reports it "not installed".
    void reviewLastInstall();

public slots:
    void activate();

signals:
    void stateChanged(UpdateController::State state);
    // The installer is about to be fetched (or there is nothing to fetch after all).
    void downloadStarting();
    // The check is over; the window words what it found.
    void checkFinished(const VersionCheck &check);
    void progressChanged(qint64 received, qint64 total);
    void downloadFailed();
    // The installer has been started, or has failed to; either way the run is over.
    void installFinished(bool started);
    // The user declined the elevation prompt; the run goes on, Idle, with installReady().
    void installDeclined();
    // The installer the last run started has not brought its version (reviewLastInstall).
    void lastUpdateNotInstalled();
    // Filled in by the receiver before it returns, or left empty to fail the request.
    void proxyLoginRequired(const QNetworkProxy &proxy, QAuthenticator *authenticator);

private:
    // The one place the state changes; an offer stands only while Idle.
    void setState(State next, bool offer = false);
    void check();
    void evaluateReply(const QByteArray &body);
    void startDownload();
    void cancelDownload();
    void failDownload(const QString &reason);
    void downloadFinished();
    InstallerStart startInstaller();

    DownLoadManager *downloads;
    QPointer<VersionRequest> request; // while Checking
    State current = State::Idle;
    qint64 version = 0;
    QString installedVersion;
    bool offered = false;
    bool declined = false;
    QString installerName;
    QString updateAddress;
    InstallerExpectation expectation;
};
