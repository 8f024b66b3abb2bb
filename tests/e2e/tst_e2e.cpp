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
    QTest::addColumn<QString>("then");    // "kill and restart", "proxy login" or "proxy cancel"
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
    const QString temporary = home.updateFolder() + "Glimmerpane109.exe_tmp";

    if (then == "kill and restart") {
        clickDownload(1);
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo(temporary).size() > 0; }, 10000));
        updater->kill();
        QVERIFY(finishesWithin(updater, 5000));
        QVERIFY(QFileInfo::exists(temporary) && !QFileInfo::exists(home.installerRecordPath()));

        updater = home.start(arguments);
        clickDownload(2);
        QVERIFY2(
            QTest::qWaitFor([&] { return QFileInfo::exists(home.installerRecordPath()); }, 30000),
            qPrintable(home.readLog()));
        QCOMPARE(readFileBytes(home.updateFolder() + "Glimmerpane109.exe"),
                 readFileBytes(installer));
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
    QVERIFY(home.requests().startsWith(versionRequestLine));
    QVERIFY2(served.isEmpty() || home.requests().constLast().startsWith(installerRequest + served),
             qPrintable(home.requests().join('\n')));
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
