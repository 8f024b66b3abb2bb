#pragma once

#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class ChildProcess;
class QProcess;

// A fresh user for GlimmerpaneUpdater runs, with its own local version service: its folders
// below the test sandbox, its staging overrides pointing at that service, its window on the
// test's X display (offscreen without one), its time limits at 2 s. The updaters started here
// share the user (and so its single-instance guard) and end with it.
class UpdaterHome
{
public:
    UpdaterHome();
    ~UpdaterHome();

    // Starts glimmerpane-version-service with these options on a free port, waits until it
    // listens; false with serviceOutput() otherwise.
    bool startService(const QStringList &options);
    QString serviceOutput() const { return output; }
    // The service's requests so far as "<method> <path> <query> <status>".
    QStringList requests() const;
    // Puts the installer's address (127.0.0.1) behind tinyproxy asking for these credentials; the
    // version check goes to "localhost", which no_proxy keeps direct. False when it did not start.
    bool startProxy(const QString &user, const QString &password);

    QProcess *start(const QStringList &arguments);
    // The updater's window once the service has had this many version requests; empty when
    // none shows.
    QString windowAfter(int versionRequests) const;
    // The Windows program under Wine instead: `program leading... arguments...`, its product
    // folders below `root` (the prefix's drive C:).
    void runUpdaterAs(const QString &program, const QStringList &leading, const QString &root);
    // The variables of the updaters started from now on.
    QProcessEnvironment &environment() { return variables; }

    // The outcome of an install at the next starts, with the service offering the stand-in
    // installer as 109: a start with 1.0.8 installs; the next with 1.0.8 logs "update to 109 not
    // installed" and its click starts the installer already there, not fetched again; a daily
    // check with 1.0.9 logs "update to 109 installed", removes the installer and its record and
    // shows no window; a record 31 days old is dropped. Empty when all held; else what did not.
    QString installAndStartAgain(const QString &installerRequest);

    QString readLog() const;
    QString updateFolder() const;
    QString installerRecordPath() const { return folder.path() + "/installer-ran.txt"; }

private:
    QTemporaryDir folder;
    QProcessEnvironment variables;
    QString updater = GLIMMERPANE_UPDATER_BIN;
    QStringList leadingArguments;
    QString productRoot;
    std::unique_ptr<ChildProcess> service, proxy;
    std::vector<std::unique_ptr<ChildProcess>> updaters;
    QString output;
};

// The version request as the service logs it.
inline const QString versionRequestLine =
    "GET /api/front/index/get/version appPlatform=Windows 200";
