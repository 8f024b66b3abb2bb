#include "tests/e2e/updaterhome.h"

#include "tests/e2e/childprocess.h"
#include "tests/support/testsandbox.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>

UpdaterHome::UpdaterHome(const QString &serviceOrigin, QObject *parent)
    : QObject(parent), folder(testSandboxPath() + QStringLiteral("/user-XXXXXX")),
      environment(QProcessEnvironment::systemEnvironment())
{
    const QString root = folder.path();
    const auto point = [&](const QString &variable, const QString &subfolder) {
        QDir().mkpath(root + subfolder);
        environment.insert(variable, root + subfolder);
    };
    point(QStringLiteral("HOME"), QStringLiteral("/home"));
    point(QStringLiteral("XDG_DATA_HOME"), QStringLiteral("/home/.local/share"));
    point(QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("/home/.config"));
    point(QStringLiteral("XDG_CACHE_HOME"), QStringLiteral("/home/.cache"));
    point(QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("/runtime"));
    QFile::setPermissions(root + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    point(QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
    environment.insert(QStringLiteral("GLIMMERPANE_VERSION_SERVICE"), serviceOrigin);
    environment.insert(QStringLiteral("GLIMMERPANE_EXTRA_CA_CERTS"),
                       qEnvironmentVariable("GLIMMERPANE_TEST_DATA") + QStringLiteral("/ca.pem"));
    environment.insert(QStringLiteral("GLIMMERPANE_INSTALLER_RECORD"), installerRecordPath());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("DISPLAY"));
}

UpdaterHome::~UpdaterHome()
{
    for (QProcess *process : findChildren<QProcess *>()) {
        process->kill();
        process->waitForFinished(5000);
    }
}

void UpdaterHome::useDisplay(const QString &display)
{
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), display);
}

QProcess *UpdaterHome::start(const QStringList &arguments)
{
    auto *process = new QProcess(this);
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(folder.path());
    // The updater's warnings land in the test's output, where a failure is read.
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    endWithTestProcess(*process);
    process->start(QStringLiteral(GLIMMERPANE_UPDATER_BIN), arguments);
    return process;
}

QString UpdaterHome::logPath() const
{
    return folder.path() + QStringLiteral("/home/.local/share/Glimmerpane/log/update.log");
}

QString UpdaterHome::readLog() const
{
    QFile log(logPath());
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

QString UpdaterHome::updateFolder() const
{
    return folder.path() + QStringLiteral("/home/.local/share/Glimmerpane/update/");
}

QString UpdaterHome::installerRecordPath() const
{
    return folder.path() + QStringLiteral("/installer-ran.txt");
}

bool finishesWithin(QProcess *process, int timeoutMs)
{
    if (process->state() == QProcess::NotRunning)
        return true;
    QSignalSpy finished(process, &QProcess::finished);
    return finished.wait(timeoutMs);
}
