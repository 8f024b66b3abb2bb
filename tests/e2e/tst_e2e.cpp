// The real GlimmerpaneUpdater as its users meet it: a separate process against the real version
// service program, its window on the X display that ctest runs this under (xvfb-run), clicked
// with real input events through xdotool.
#include "tests/support/childprocess.h"
#include "tests/support/testsupport.h"
#include "tests/support/updaterhome.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {

// Under CI a missing tool fails the row; elsewhere it skips with the reason.
#define SKIP_UNLESS_CI(reason)                                                                     \
    do {                                                                                           \
        if (qEnvironmentVariableIsEmpty("CI"))                                                     \
            QSKIP(qPrintable(reason));                                                             \
        QFAIL(qPrintable(reason));                                                                 \
    } while (false)

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void runs_data();
    void runs();
    void foreignFiles_data();
    void foreignFiles();
    void installOutcome();
    void highDpi();
    void screenReader();
};

void TestEndToEnd::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") ||
        QStandardPaths::findExecutable("xdotool").isEmpty())
        SKIP_UNLESS_CI("needs Xvfb (xvfb-run) and xdotool: scripts/install-deps");
}

void TestEndToEnd::init()
{
    // Windows of an earlier row go with their killed process.
    QTRY_VERIFY_WITH_TIMEOUT(visibleWindows().isEmpty(), 5000);
}

void TestEndToEnd::runs_data()
{
    QTest::addColumn<QStringList>("serviceOptions");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("then");    // what the test does or sets up: see runs()
    QTest::addColumn<QString>("logLine"); // expected in the log; empty for none
    QTest::addColumn<QString>("served");  // how the service answered the last installer request

    // The service signs its installer, and the updater gets its key.
    const QStringList withInstaller{"--installer", GLIMMERPANE_DEMO_INSTALLER_BIN};
    const auto row = [](const char *name, const QStringList &options, const QStringList &arguments,
                        const char *then, const char *logLine, const char *served = "") {
        QTest::newRow(name) << options << arguments << then << logLine << served;
    };
    // Daily checks, second starts raising the first, a signed installer started by a click and a
    // dropped download retried run as the Windows program under Wine (tst_e2e_windows); these
    // are the killed download's and the proxy's.
    // Slow enough to be killed half-way; the next run goes on from the kept bytes, or starts over
    // when the file changed, and installs.
    const QStringList slow = withInstaller + QStringList{"--throttle", "8000"};
    row("killed mid-download, resumed, signed installer started", slow, {"version=1.0.8"},
        "kill and restart", "install start success", "206 bytes=");
    row("killed mid-download, ETag changed, all again",
        slow + QStringList{"--fault", "changing-etag"}, {"version=1.0.8"}, "kill and restart",
        "install start success", "200 bytes=");
    // Only the installer's address behind an authenticating proxy, so that the login is asked at
    // the download, not while the check's deadline runs: typed, it installs; cancelled, it fails.
    row("proxy login typed, installer started", withInstaller, {"version=1.0.8"}, "proxy login",
        "install start success", "200");
    row("proxy login cancelled", withInstaller, {"version=1.0.8"}, "proxy cancel",
        "download failed");

    // Versions order part by part, and the signature names the dotted one. "quiet": the daily
    // check ends by itself, without an installer request; "install": offered, and it installs.
    const auto version = [&](const char *name, const char *latest, const QString &installed,
                             const char *then, const char *logLine, const QStringList &more = {}) {
        row(name, withInstaller + QStringList{"--latest-version", latest} + more,
            {"version=" + installed, "dailyCheck"}, then, logLine, *then == 'i' ? "200" : "");
    };
    version("1.0.10 offered to 1.1.0: nothing", "1.0.10", "1.1.0", "quiet", "");
    version("1.1.0 offered to 1.0.10: installs", "1.1.0", "1.0.10", "install",
            "install start success");
    version("1.0.10 offered to 1.0.9: installs", "1.0.10", "1.0.9", "install",
            "install start success");
    version("version whose digits are not appVersion", "1.0.10", "1.0.9", "quiet",
            "invalid integrity info", {"--app-version", "1011"});
    version("signed for 1.0.9, offered as 1.0.10", "1.0.10", "1.0.9", "quiet",
            "installer signature invalid", {"--signed-as", "1.0.9"});
    // The updater holds another key, made by the signing tool.
    row("signed by another key", withInstaller, {"version=1.0.8", "dailyCheck"}, "another key",
        "installer signature invalid");
    // Nobody to ask: the request fails and the run ends.
    row("daily check behind an always-407 proxy", withInstaller, {"version=1.0.8", "dailyCheck"},
        "407 proxy", "JSON format err");
    // A browser stub on PATH records whether "Official Site" took a Return.
    const QStringList nothingNewer = withInstaller + QStringList{"--latest-version", "1.0.8"};
    row("Tab, Return, Return: 2 checks, no browser", nothingNewer, {"version=1.0.8"}, "keys", "");
    row("Return held 1.5 s: one check", nothingNewer, {"version=1.0.8"}, "keys: Return held", "");
    row("no display", {}, {"version=1.0.8", "dailyCheck"}, "no display", "");
    row("DISPLAY without a server", {}, {"version=1.0.8", "dailyCheck"}, "no display server", "");
    // 4 MiB under the name the requests are checked by.
    const QString large =
        testSandboxPath() + '/' + QFileInfo(GLIMMERPANE_DEMO_INSTALLER_BIN).fileName();
    writeFileBytes(large, QByteArray(4 << 20, 'x'));
    row("ulimit -f 1024: a failed write, not SIGXFSZ", {"--installer", large}, {"version=1.0.8"},
        "file size limit", "download failed");
}

void TestEndToEnd::runs()
{
    QFETCH(QStringList, serviceOptions);
    QFETCH(QStringList, arguments);
    QFETCH(QString, then);
    QFETCH(QString, logLine);
    QFETCH(QString, served);

    UpdaterHome home;
    QVERIFY2(home.startService(serviceOptions), qPrintable(home.serviceOutput()));
    const QString user = "gp-proxy-user-4817", password = "Kq7vX2pLm9wT";
    if (then.startsWith("proxy") && QStandardPaths::findExecutable("tinyproxy").isEmpty())
        SKIP_UNLESS_CI("needs tinyproxy: scripts/install-deps");
    QVERIFY(!then.startsWith("proxy") || home.startProxy(user, password));
    QProcessEnvironment &environment = home.environment();
    const QString own = QFileInfo(home.installerRecordPath()).path();
    if (then == "another key") {
        ChildProcess keygen(GLIMMERPANE_SIGN_BIN, {"keygen", own + "/other.key"});
        environment.insert("GLIMMERPANE_UPDATE_PUBLIC_KEY", keygen.nextLine());
    }
    LocalHttpsServer proxy{LocalHttpsServer::Scheme::Http};
    if (then == "407 proxy") { // waits for no dialog: a dialog shown would hold the run for ever
        proxy.setHandler([](const HttpRequest &, HttpResponse &response) {
            response.setStatus(407);
            response.setHeader("Proxy-Authenticate", "Basic realm=\"test\"");
        });
        QVERIFY(proxy.listen());
        environment.insert("https_proxy", proxy.url(QString()).toString());
        environment.insert("GLIMMERPANE_PROXY_LOOPBACK", "1");
    }
    const QString browserRecord = own + "/browser-opened";
    if (then.startsWith("keys")) {
        QVERIFY(writeFileBytes(own + "/xdg-open",
                               "#!/bin/sh\necho \"$@\" >>" + browserRecord.toUtf8() + "\n"));
        QVERIFY(QFile::setPermissions(own + "/xdg-open", QFile::ExeOwner | QFile::ReadOwner));
        environment.insert("PATH", own + ':' + environment.value("PATH"));
    }
    if (then.startsWith("no display")) { // exits 1 before anything else, and says why
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        if (then.endsWith("server")) // not :99, where xvfb-run -a puts the test's own
            environment.insert("DISPLAY", ":64999");
        ChildProcess run(GLIMMERPANE_UPDATER_BIN, arguments, environment);
        QVERIFY(run.finishes());
        const QByteArray said = run.readAllStandardError();
        QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 1 &&
                     said.startsWith("GlimmerpaneUpdater: no display"),
                 said.constData());
        QVERIFY(home.requests().isEmpty() && home.readLog().isEmpty());
        return;
    }
    if (then == "file size limit")
        home.runUpdaterAs("bash",
                          {"-c", "ulimit -f 1024 && exec \"$0\" \"$@\"", GLIMMERPANE_UPDATER_BIN},
                          home.environment().value("XDG_DATA_HOME") + '/');
    QProcess *updater = home.start(arguments);
    const QString installer = GLIMMERPANE_DEMO_INSTALLER_BIN;
    const QString installerRequest = "GET /" + QFileInfo(installer).fileName() + " - ";
    // A click that lands while the check still runs meets a disabled button; one on "Download
    // Update" shows at once as the installer request.
    const auto clickDownload = [&](int installerRequests) {
        QVERIFY2(clickUntil(home.windowAfter(installerRequests), {445, 274},
                            [&] {
                                return home.requests().filter(installerRequest).size() >=
                                           installerRequests ||
                                       visibleWindows().size() > 1; // the proxy's login
                            }),
                 qPrintable(home.requests().join('\n')));
    };
    const int latest = serviceOptions.indexOf("--latest-version") + 1;
    const QString installed = home.updateFolder() + "Glimmerpane" +
                              QString(latest ? serviceOptions.at(latest) : "109").remove('.') +
                              ".exe",
                  temporary = installed + "_tmp";

    const auto checks = [&] { return home.requests().count(versionRequestLine); };
    if (then.startsWith("keys")) {
        const QStringList focus{"windowfocus", "--sync", home.windowAfter(1)};
        QVERIFY(!focus.constLast().isEmpty());
        if (then.endsWith("Return held")) {
            const QStringList hold{"keydown", "Return", "sleep", "1.5", "keyup", "Return"};
            QVERIFY(xdotoolUntil(focus + hold, [&] { return checks() > 1; }));
        } else {
            // From the notes, where a click leaves the focus, on to the update button.
            xdotool({"mousemove", "--window", focus.constLast(), "250", "120", "click", "1"});
            xdotool(focus + QStringList{"key", "Tab"});
            for (const int wanted : {2, 3})
                QVERIFY(xdotoolUntil(focus + QStringList{"key", "Return"},
                                     [&] { return checks() >= wanted; }));
            QVERIFY(!QFileInfo::exists(browserRecord));
        }
        xdotool(focus + QStringList{"key", "alt+F4"}); // after every key before it
        QVERIFY(finishesWithin(updater, 10000));
        QCOMPARE(checks(), then.endsWith("Return held") ? 2 : 3);
    } else if (then == "install" || then == "kill and restart") {
        clickDownload(1);
        if (then == "kill and restart") {
            QVERIFY(QTest::qWaitFor([&] { return QFileInfo(temporary).size() > 0; }, 10000));
            updater->kill();
            QVERIFY(finishesWithin(updater, 5000));
            QVERIFY(QFileInfo::exists(temporary) && !QFileInfo::exists(home.installerRecordPath()));
            updater = home.start(arguments);
            clickDownload(2);
        }
        QVERIFY2(
            QTest::qWaitFor([&] { return QFileInfo::exists(home.installerRecordPath()); }, 30000),
            qPrintable(home.readLog()));
        QCOMPARE(readFileBytes(installed), readFileBytes(installer));
        QVERIFY(!QFileInfo::exists(temporary));
    } else if (then.startsWith("proxy")) {
        clickDownload(1);
        const QStringList login{
            "windowfocus", "--sync",
            xdotool({"search", "--onlyvisible", "--name", "Proxy Login$"}).trimmed()};
        QVERIFY2(!login.constLast().isEmpty(), "no proxy login asked");
        if (then == "proxy login")
            xdotool(login + QStringList{"type", user + '\t' + password});
        xdotool(login + QStringList{"key", then == "proxy login" ? "Return" : "Escape"});
        QVERIFY2(QTest::qWaitFor([&] { return home.readLog().contains(logLine + '\n'); }, 30000),
                 qPrintable(home.readLog()));
    } else if (then == "file size limit") { // the window stays; closed as a user does
        clickDownload(1);
        QVERIFY(QTest::qWaitFor([&] { return home.readLog().contains(logLine + '\n'); }, 30000));
        QVERIFY(
            home.readLog().contains(QRegularExpression("write installer failed\n.* - " + logLine)));
        xdotool({"windowfocus", "--sync", visibleWindows().value(0), "key", "alt+F4"});
    }
    if (then == "proxy login") { // kept in memory only: in no file, the log included
        QStringList read;
        for (QDirIterator it(testSandboxPath(), QDir::Files | QDir::Hidden,
                             QDirIterator::Subdirectories);
             it.hasNext();) {
            const QByteArray bytes = readFileBytes(read.emplace_back(it.next()));
            for (const QString &secret : {user, password})
                QVERIFY2(!bytes.contains(secret.toUtf8()), qPrintable(read.last()));
        }
        QVERIFY(read.join('\n').contains("/log/update.log"));
    }
    if (then != "proxy cancel") {
        QVERIFY(finishesWithin(updater, 15000));
        QCOMPARE(updater->exitStatus(), QProcess::NormalExit);
        QCOMPARE(updater->exitCode(), 0);
    }
    const QString log = home.readLog();
    const QRegularExpression line("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d - " + logLine + "$",
                                  QRegularExpression::MultilineOption);
    QVERIFY2(logLine.isEmpty() || line.match(log).hasMatch(), qPrintable(log));
    QVERIFY(then == "407 proxy" || home.requests().startsWith(versionRequestLine));
    if (then == "quiet" || then == "another key" || then == "407 proxy")
        QVERIFY(home.requests().filter(installerRequest).isEmpty() && visibleWindows().isEmpty() &&
                (then != "407 proxy" || proxy.requestCount() > 0));
    QVERIFY2(served.isEmpty() || home.requests().constLast().startsWith(installerRequest + served),
             qPrintable(home.requests().join('\n')));
}

void TestEndToEnd::foreignFiles_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("logLine"); // %1: the user's guard folder

    // Rows without "user:" find a link at their guard folder's name, and so write to the log at
    // once; "user: link" and "user: folder": another user's link or folder there; "user: old
    // paths": the earlier guard's lock file and mutex folder made by another user in /tmp.
    const QString why = "single instance guard: %1 %2; this start uses a folder of its own",
                  link = why.arg("%1", "is a link or not a folder");
    for (const char *setup : {"symbolic link", "hard link", "user: old paths", "user: runtime"})
        QTest::newRow(setup) << setup << "";
    QTest::newRow("5 MiB log") << "5 MiB log" << link;
    QTest::newRow("user: link") << "user: link" << link;
    QTest::newRow("user: folder") << "user: folder" << why.arg("%1", "belongs to user 64124");
}

// The updater starts its window and logs what it refused; whatever stands at the log's name is
// never written through. Rows marked "user:" run as an unprivileged user (uid 64123), against
// files of uid 64124, in a shared temporary folder as /tmp is.
void TestEndToEnd::foreignFiles()
{
    QFETCH(QString, setup);
    QFETCH(QString, logLine);
    UpdaterHome home;
    QVERIFY2(home.startService({"--latest-version", "108"}), qPrintable(home.serviceOutput()));
    QProcessEnvironment &environment = home.environment();
    const QString data = environment.value("XDG_DATA_HOME") + '/',
                  log = data + "Glimmerpane/log/update.log";
    const QString temporary = environment.value("TMPDIR"), victim = testSandboxPath() + "/victim";
    const QString guard =
        temporary + "/glimmerpane-guard-" +
        (setup.startsWith("user") ? "64123" : QString::number(QFileInfo(temporary).ownerId()));
    QVERIFY(QDir().mkpath(data + "Glimmerpane/log") && writeFileBytes(victim, "victim\n"));
    if (setup == "5 MiB log")
        QVERIFY(writeFileBytes(log, QByteArray(5 << 20, 'x')));
    QVERIFY(setup != "symbolic link" || QFile::link(victim, log));
    QVERIFY(setup != "hard link" || QProcess::execute("ln", {victim, log}) == 0);
    QVERIFY((setup.startsWith("user") && setup != "user: link") ||
            QFile::link(testSandboxPath(), guard));
    if (setup.startsWith("user")) {
        if (QFileInfo(testSandboxPath()).ownerId() != 0 ||
            QStandardPaths::findExecutable("setpriv").isEmpty())
            SKIP_UNLESS_CI("needs root and setpriv (util-linux) to run as another user");
        QVERIFY(setup != "user: folder" || QDir().mkdir(guard));
        if (setup == "user: old paths")
            QVERIFY(QDir().mkdir(temporary + "/named-mutexes-fa7b") &&
                    writeFileBytes(temporary + "/qtsingleapp-ABCCCF-11d3-fa7b-lockfile", ""));
        // The user's folders are its own; what is in the temporary folder, the other user's.
        for (const QStringList &command : {QStringList{"chown", "-R", "64123", data + "../../.."},
                                           {"chown", "-hR", "64124", temporary},
                                           {"chown", "0", temporary},
                                           {"chmod", "1777", temporary},
                                           {"chmod", "711", testSandboxPath()}})
            QCOMPARE(QProcess::execute(command[0], command.mid(1)), 0);
        home.runUpdaterAs(
            "setpriv",
            {"--reuid=64123", "--regid=64123", "--clear-groups", "--", GLIMMERPANE_UPDATER_BIN},
            data);
        environment.insert("QT_QPA_PLATFORM", "offscreen"); // the X display is the test's
        if (setup != "user: runtime")                       // as in su sessions and cron
            environment.remove("XDG_RUNTIME_DIR");
    }
    home.start({"version=1.0.8"});
    // The window's start-up check asks the service.
    QVERIFY(QTest::qWaitFor([&] { return home.requests().contains(versionRequestLine); }, 20000));
    if (setup == "user: runtime") {
        environment.remove("XDG_RUNTIME_DIR");
        QProcess *second = home.start({"version=1.0.8"});
        QVERIFY(finishesWithin(second, 10000) && second->exitCode() == 0);
        QCOMPARE(home.requests().count(versionRequestLine), 1); // it handed over
    }
    QCOMPARE(readFileBytes(victim), "victim\n");
    QCOMPARE(QFileInfo(log + ".1").size(), setup == "5 MiB log" ? 5 << 20 : 0);
    QVERIFY(QFileInfo(log).size() < 1 << 20);
    QVERIFY2(home.readLog().contains(QString(logLine).replace("%1", guard)),
             qPrintable(home.readLog()));
}

// The outcome of an install at the next starts, and the installer reused (as under Wine).
void TestEndToEnd::installOutcome()
{
    UpdaterHome home;
    QVERIFY2(home.startService({"--installer", GLIMMERPANE_DEMO_INSTALLER_BIN}),
             qPrintable(home.serviceOutput()));
    const QString request = "GET /" + QFileInfo(GLIMMERPANE_DEMO_INSTALLER_BIN).fileName() + " - ";
    const QString failed = home.installAndStartAgain(request);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
}

// At QT_SCALE_FACTOR=2 the window is twice as many pixels each way, and its icons are drawn at
// that size rather than blown up: the title bar icon's blue fills the same share of its 32x32
// button as at scale 1.
void TestEndToEnd::highDpi()
{
    UpdaterHome home;
    QVERIFY2(home.startService({"--latest-version", "108"}), qPrintable(home.serviceOutput()));
    QList<double> shares;
    for (const int scale : {1, 2}) {
        home.environment().insert("QT_SCALE_FACTOR", QString::number(scale));
        QProcess *updater = home.start({"version=1.0.8"});
        QVERIFY(QTest::qWaitFor([&] { return home.requests().size() == scale; }, 10000));
        QVERIFY(QTest::qWaitFor([] { return !visibleWindows().isEmpty(); }, 10000));
        const QString window = visibleWindows().value(0);
        const QString geometry = xdotool({"getwindowgeometry", "--shell", window});
        QVERIFY2(geometry.contains(QStringLiteral("WIDTH=%1\n").arg(500 * scale)) &&
                     geometry.contains(QStringLiteral("HEIGHT=%1\n").arg(310 * scale)),
                 qPrintable(geometry));
        // How much of the icon's 32x32 button its blue (#1880F2) covers: each bluish pixel of
        // the title bar's left end (up to the title text) counts by how far it is from the panel.
        const auto blueShare = [&] {
            const QImage image = screenshot(window);
            double blue = 0;
            for (int y = 0; y < qMin(60 * scale, image.height()); ++y) {
                for (int x = 0; x < qMin(68 * scale, image.width()); ++x) {
                    const QColor pixel = image.pixelColor(x, y);
                    if (pixel.blue() > pixel.red() + 40)
                        blue += qBound(0.0, (248 - pixel.red()) / (248.0 - 0x18), 1.0);
                }
            }
            return blue / (32 * 32 * scale * scale);
        };
        // Waits for the icon's first paint, not for a time.
        QVERIFY(QTest::qWaitFor([&] { return blueShare() > 0.2; }, 10000));
        shares << blueShare();
        updater->kill();
        QVERIFY(finishesWithin(updater, 5000));
        QVERIFY(QTest::qWaitFor([] { return visibleWindows().isEmpty(); }, 5000));
    }
    qInfo("blue share of the icon's button: %.3f at scale 1, %.3f at scale 2", shares[0],
          shares[1]);
    QVERIFY(shares[0] > 0.2);
    QVERIFY(qAbs(shares[1] - shares[0]) < 0.02);
}

// As a screen reader sees the real window on Linux: its accessible tree over AT-SPI on a private
// session bus, the check's result heard, and "Download Update" pressed through its accessible
// action starts the installer.
void TestEndToEnd::screenReader()
{
    // Debian's own Python, which python3-pyatspi installs into.
    const QString python = QStandardPaths::findExecutable("python3", {"/usr/bin", "/bin"});
    if (QStandardPaths::findExecutable("dbus-run-session").isEmpty() || python.isEmpty() ||
        QProcess::execute(python, {"-c", "import pyatspi"}) != 0)
        SKIP_UNLESS_CI("needs dbus, at-spi2-core and python3-pyatspi: scripts/install-deps");
    UpdaterHome home;
    QVERIFY2(home.startService({"--installer", GLIMMERPANE_DEMO_INSTALLER_BIN}),
             qPrintable(home.serviceOutput()));
    home.environment().insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    ChildProcess reader("dbus-run-session",
                        {"--", python, GLIMMERPANE_SCREEN_READER_SCRIPT, "Glimmerpane",
                         "Download Update", "30", GLIMMERPANE_UPDATER_BIN, "version=1.0.8"},
                        home.environment(), QProcess::MergedChannels);
    QVERIFY(finishesWithin(&reader, 60000));
    QStringList heard = QString::fromUtf8(reader.readAll()).split('\n');
    qInfo("%s", qPrintable(heard.join('\n')));
    for (QString &line : heard)
        line = line.trimmed();
    if (reader.exitCode() == 2)
        SKIP_UNLESS_CI("the accessibility bus did not start");
    // Every button named, the icon a picture, the bar named with its value; what the press made
    // the window say. (The start-up check's result may come before the updater's accessibility
    // bridge is up; it is in the output when it was heard.)
    for (const char *line :
         {". . . . push button | Download Update |", ". . . . push button | Official Site |",
          ". . . . push button | Minimise |", ". . . . push button | Close |",
          ". . . . image | Glimmerpane |", ". . . . progress bar | Download progress | 0",
          ". . . . label | Release notes |",
          "event object:text-changed:insert | label | Release notes | Downloading...", "pressed",
          "exit 0"})
        QVERIFY2(heard.contains(line), line);
    QCOMPARE(heard.filter(". push button |").size(), 4);
    QVERIFY(QFileInfo::exists(home.installerRecordPath()));
}

UPDATER_TEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
