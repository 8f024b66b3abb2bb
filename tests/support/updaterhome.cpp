#include "tests/support/updaterhome.h"

#include "core/productpaths.h"
#include "tests/support/childprocess.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
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
    const QString prepare = "prepare to download update; ", success = "install start success";
    // The arguments of each start, and what the log gains from it.
    const QList<QStringList> steps{
        {"version=1.0.8", prepare + success},
        {"version=1.0.8",
         "update to 109 not installed; " + prepare + "installer already downloaded; " + success},
        {"version=1.0.9 dailyCheck", "update to 109 installed"}, // nothing newer: no window
        {"version=1.0.8", "install record dropped"},             // a record 31 days old
    };
    bool shown = false; // a window of the daily check after its version request
    int fetched = 0;    // installer requests: the first download's (and its retries') only
    for (int i = 0; i < steps.size(); ++i) {
        const QString &expected = steps[i][1];
        const bool daily = steps[i][0].endsWith("dailyCheck");
        if (i == 3)
            writeFileBytes(
                updateFolder() + "install-record.json",
                R"({"version":109,"installer":"Glimmerpane109.exe","time":")" +
                    QDateTime::currentDateTimeUtc().addDays(-31).toString(Qt::ISODate).toUtf8() +
                    "\"}");
        const int logSize = readLog().remove('\r').size();
        const auto logged = [&] { return readLog().remove('\r').mid(logSize); };
        QProcess *updater = start(steps[i][0].split(' '));
        // A click while the check still runs meets a disabled button; one on "Download Update"
        // shows at once in the log.
        const bool done = expected.endsWith(success)
                              ? clickUntil(windowAfter(i + 1), {445, 274},
                                           [&] { return logged().contains(prepare.chopped(2)); }) &&
                                    finishesWithin(updater, 30000)
                              : QTest::qWaitFor(
                                    [&] {
                                        shown |= daily && !visibleWindows().isEmpty() &&
                                                 requests().count(versionRequestLine) > i;
                                        return logged().contains(expected) &&
                                               (!daily || updater->state() == QProcess::NotRunning);
                                    },
                                    20000);
        updater->kill();
        finishesWithin(updater, 10000);
        // Wine's TLS now and then drops a first connection, which the retry covers.
        const QString lines = logged()
                                  .split('\n')
                                  .replaceInStrings(QRegularExpression("^.* - "), "")
                                  .filter(QRegularExpression("^(?!download retry)"))
                                  .join("; ");
        const auto ranOncePerStart = [&] {
            return readFileBytes(installerRecordPath()).count('\n') == readLog().count(success);
        };
        if (!done || shown || !lines.startsWith(expected) || !QTest::qWaitFor(ranOncePerStart) ||
            (fetched && requests().filter(installerRequest).size() != fetched))
            return "start with " + steps[i][0] + ":\n" + readLog();
        fetched = requests().filter(installerRequest).size();
    }
    return QDir(updateFolder()).isEmpty() ? QString() : "the installer or its record stayed";
}
