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

    // For the updaters started from now on.
    void setEnvironment(const QString &name, const QString &value)
    {
        environment.insert(name, value);
    }
    QProcess *start(const QStringList &arguments);

    QString readLog() const;
    QString updateFolder() const;
    QString installerRecordPath() const { return folder.path() + "/installer-ran.txt"; }

private:
    QTemporaryDir folder;
    QProcessEnvironment environment;
    std::unique_ptr<ChildProcess> service;
    std::vector<std::unique_ptr<ChildProcess>> updaters;
    QString output;
};

// The version request as the service logs it.
inline const QString versionRequestLine =
    "GET /api/front/index/get/version appPlatform=Windows 200";
