#include "tests/support/updaterhome.h"

#include "app/productpaths.h"
#include "tests/support/childprocess.h"


UpdaterHome::UpdaterHome()
    : folder(testSandboxPath() + "/user-XXXXXX"),
      environment(QProcessEnvironment::systemEnvironment())
{
    environment.insert(userFoldersBelow(folder.path()));
    environment.insert("GLIMMERPANE_EXTRA_CA_CERTS", testDataPath("ca.pem"));
    environment.insert("GLIMMERPANE_INSTALLER_RECORD", installerRecordPath());
    environment.insert("GLIMMERPANE_TIME_LIMIT_MS", "2000"); // a stalled service: 2 s, not 30
    environment.insert("QT_QPA_PLATFORM", environment.contains("DISPLAY") ? "xcb" : "offscreen");
}

UpdaterHome::~UpdaterHome() = default;

bool UpdaterHome::startService(const QStringList &options)
{
    service = std::make_unique<ChildProcess>(
        GLIMMERPANE_VERSION_SERVICE_BIN,
        QStringList{"--port", "0", "--certificate", testDataPath("server.pem"), "--key",
                    testDataPath("server.key"), "--request-log", folder.path() + "/requests.log"} +
            options,
        QProcessEnvironment::systemEnvironment(), QProcess::MergedChannels);
    for (QString line = service->nextLine(); !line.isEmpty(); line = service->nextLine()) {
        output += line + '\n';
        if (line.startsWith("public key "))
            environment.insert("GLIMMERPANE_UPDATE_PUBLIC_KEY", line.section(' ', 2));
        if (line.startsWith("listening on ")) {
            environment.insert("GLIMMERPANE_VERSION_SERVICE", line.section(' ', 2));
            return true;
        }
    }
    return false;
}

QStringList UpdaterHome::requests() const
{
    QStringList lines;
    for (const QByteArray &line : readFileBytes(folder.path() + "/requests.log").split('\n')) {
        if (line.indexOf(' ') > 0) // after the time
            lines.append(QString::fromUtf8(line.mid(line.indexOf(' ') + 1)));
    }
    return lines;
}

QProcess *UpdaterHome::start(const QStringList &arguments)
{
    // The updater's warnings land in the test's output, where a failure is read.
    updaters.push_back(std::make_unique<ChildProcess>(
        GLIMMERPANE_UPDATER_BIN, arguments, environment, QProcess::ForwardedErrorChannel));
    return updaters.back().get();
}

QString UpdaterHome::readLog() const
{
    return QString::fromUtf8(readFileBytes(environment.value("XDG_DATA_HOME") + '/' +
                                           logFolderLevels().join('/') + "/update.log"));
}

QString UpdaterHome::updateFolder() const
{
    return environment.value("XDG_DATA_HOME") + '/' + updateFolderLevels().join('/') + '/';
}
