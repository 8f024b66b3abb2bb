#pragma once

#include <QObject>
#include <QProcessEnvironment>
#include <QTemporaryDir>

class QProcess;

// A fresh user for GlimmerpaneUpdater runs: HOME, XDG_* and TMPDIR below one folder of the
// test sandbox, the staging overrides pointing at a local version service. Processes started
// here share that user (and so its single-instance guard) and are killed with it.
class UpdaterHome : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UpdaterHome)

public:
    explicit UpdaterHome(const QString &serviceOrigin, QObject *parent = nullptr);
    ~UpdaterHome() override;

    // Runs the updater under this X display instead of the offscreen platform.
    void useDisplay(const QString &display);
    QProcess *start(const QStringList &arguments);

    QString logPath() const;
    QString readLog() const;
    QString updateFolder() const;
    QString installerRecordPath() const;

private:
    QTemporaryDir folder;
    QProcessEnvironment environment;
};

// Whether the process ends within the time; runs the event loop meanwhile.
bool finishesWithin(QProcess *process, int timeoutMs);
