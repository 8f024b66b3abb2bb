#include "tests/support/updaterhome.h"

#include "core/productpaths.h"
#include "tests/support/childprocess.h"

#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QUrl>

UpdaterHome::UpdaterHome()
    : folder(testSandboxPath() + "/user-XXXXXX"),
      variables(QProcessEnvironment::systemEnvironment())
{
    variables.insert(userFoldersBelow(folder.path()));
    productRoot = variables.value("XDG_DATA_HOME") + '/';
    variables.insert("GLIMMERPANE_EXTRA_CA_CERTS", testDataPath("ca.pem"));
    variables.insert("GLIMMERPANE_INSTALLER_RECORD", installerRecordPath());
    variables.insert("GLIMMERPANE_TIME_LIMIT_MS", "2000"); // a stalled service: 2 s, not 30
    variables.insert("QT_QPA_PLATFORM", variables.contains("DISPLAY") ? "xcb" : "offscreen");
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
            variables.insert("GLIMMERPANE_UPDATE_PUBLIC_KEY", line.section(' ', 2));
        if (line.startsWith("listening on ")) {
            variables.insert("GLIMMERPANE_VERSION_SERVICE", line.section(' ', 2));
            return true;
        }
    }
    return false;
}

bool UpdaterHome::startProxy(const QString &user, const QString &password)
{
    QTcpServer probe; // a free port: tinyproxy takes none of its own choosing
    probe.listen(QHostAddress::LocalHost);
    const QString port = QString::number(probe.serverPort()),
                  config = folder.path() + "/proxy.conf";
    probe.close();
    QUrl origin(variables.value("GLIMMERPANE_VERSION_SERVICE"));
    writeFileBytes(config,
                   QStringLiteral("Port %1\nListen 127.0.0.1\nBasicAuth %2 %3\nConnectPort %4\n")
                       .arg(port, user, password, QString::number(origin.port()))
                       .toUtf8());
    proxy = std::make_unique<ChildProcess>("tinyproxy", QStringList{"-d", "-c", config});
    QString line = proxy->nextLine();
    while (!line.isEmpty() && !line.contains("Accepting connections"))
        line = proxy->nextLine();
    QFile::remove(config); // read at start; the credentials are to be in no file from now on
    origin.setHost("localhost");
    variables.insert("GLIMMERPANE_VERSION_SERVICE", origin.toString());
    variables.insert("GLIMMERPANE_PROXY_LOOPBACK", "1");
    variables.insert("https_proxy", "http://127.0.0.1:" + port);
    variables.insert("no_proxy", "localhost");
    return !line.isEmpty();
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
    updaters.push_back(std::make_unique<ChildProcess>(updater, leadingArguments + arguments,
                                                      variables, QProcess::ForwardedErrorChannel));
    return updaters.back().get();
}

void UpdaterHome::runUpdaterAs(const QString &program, const QStringList &leading,
                               const QString &root)
{
    updater = program;
    leadingArguments = leading;
    productRoot = root;
}

QString UpdaterHome::readLog() const
{
    return QString::fromUtf8(
        readFileBytes(productRoot + logFolderLevels().join('/') + "/update.log"));
}

QString UpdaterHome::updateFolder() const
{
    return productRoot + updateFolderLevels().join('/') + '/';
}

QString UpdaterHome::windowAfter(int versionRequests) const
{
    // A daily check maps its window for a moment while it minimises and hides it at start; only
    // a window seen after the version request is the one that shows the result.
    const bool shown =
        QTest::qWaitFor([&] { return requests().count(versionRequestLine) == versionRequests; },
                        20000) &&
        QTest::qWaitFor([] { return !visibleWindows().isEmpty(); }, 10000);
    return shown ? visibleWindows().value(0) : QString();
}

QString UpdaterHome::installAndStartAgain(const QString &installerRequest)
{
    struct Step
    {
        QString version;
        QStringList logLines; // what the log gains, in order
        int installs;         // the installer's runs so far
    };
    const QString success = "install start success";
    const Step steps[] = {
        {"1.0.8", {"prepare to download update", success}, 1},
        {"1.0.8",
         {"update to 109 not installed", "prepare to download update",
          "installer already downloaded", success},
         2},
        {"1.0.9", {"update to 109 installed"}, 2},
    };
    int versionRequests = 0;
    for (const Step &step : steps) {
        const int logSize = readLog().remove('\r').size();
        QProcess *updater = start({"version=" + step.version});
        const QString window = windowAfter(++versionRequests);
        const auto installs = [&] { return readFileBytes(installerRecordPath()).count('\n'); };
        // A click while the check still runs meets a disabled button; one on "Download Update"
        // shows at once in the log.
        const auto prepared = [&] { return readLog().count("prepare to download update"); };
        const int before = prepared();
        const bool done =
            step.installs > installs()
                ? clickUntil(window, {445, 274}, [&] { return prepared() > before; }) &&
                      finishesWithin(updater, 30000)
                : QTest::qWaitFor([&] { return readLog().contains(step.logLines.last()); }, 10000);
        updater->kill();
        finishesWithin(updater, 10000);
        QStringList logged;
        for (const QString &line : readLog().remove('\r').mid(logSize).split('\n'))
            logged << line.section(" - ", 1);
        const bool found = logged.join('\n').contains(step.logLines.join('\n'));
        if (!done || !found || installs() != step.installs ||
            requests().filter(installerRequest).size() != 1)
            return "start with version=" + step.version + ":\n" + readLog();
    }
    return QFileInfo::exists(updateFolder() + "Glimmerpane109.exe") ||
                   QFileInfo::exists(updateFolder() + "install-record.json")
               ? "the installer or its record stayed"
               : QString();
}
