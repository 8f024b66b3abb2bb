// The real GlimmerpaneUpdater as its users meet it: a separate process against the real version
// service program, its window on the X display that ctest runs this under (xvfb-run), clicked
// with real input events through xdotool.
#include "tests/support/testsupport.h"
#include "tests/support/updaterhome.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void runs_data();
    void runs();
};

void TestEndToEnd::initTestCase()
{
    const bool ready = !qEnvironmentVariableIsEmpty("DISPLAY") &&
                       !QStandardPaths::findExecutable("xdotool").isEmpty();
    if (!ready && qEnvironmentVariableIsEmpty("CI"))
        QSKIP("needs Xvfb (xvfb-run) and xdotool: scripts/install-deps");
    QVERIFY2(ready, "CI runs this under xvfb-run with xdotool installed");
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
    QTest::addColumn<QString>("then");    // "ends", "second starts" or "kill and restart"
    QTest::addColumn<int>("starts");      // second starts while the first runs
    QTest::addColumn<QString>("logLine"); // expected in the log; empty for none

    const QStringList daily{"version=1.0.8", "dailyCheck"};
    // The service signs its installer, and the updater gets its key.
    const QStringList withInstaller{"--installer", GLIMMERPANE_DEMO_INSTALLER_BIN};
    const auto row = [](const char *name, const QStringList &options, const QStringList &arguments,
                        const char *then, int starts, const char *logLine) {
        QTest::newRow(name) << options << arguments << then << starts << logLine;
    };
    row("daily check, nothing newer", {"--latest-version", "108"}, daily, "ends", 0, "");
    row("daily check, stalled service", {"--fault", "stall"}, daily, "ends", 0, "JSON format err");
    row("daily check offers 109, a second start raises it", withInstaller, daily, "second starts",
        1, "");
    // The guard under load: its memory and open files stay flat.
    row("200 second starts", withInstaller, {"version=1.0.8"}, "second starts", 200, "");
    // Slow enough to be killed half-way; the next run starts over and installs.
    row("killed mid-download, started again, signed installer started",
        withInstaller + QStringList{"--throttle", "8000"}, {"version=1.0.8"}, "kill and restart", 0,
        "install start success");
}

void TestEndToEnd::runs()
{
    QFETCH(QStringList, serviceOptions);
    QFETCH(QStringList, arguments);
    QFETCH(QString, then);
    QFETCH(int, starts);
    QFETCH(QString, logLine);

    UpdaterHome home;
    QVERIFY2(home.startService(serviceOptions), qPrintable(home.serviceOutput()));
    QProcess *updater = home.start(arguments);
    const auto windowOffersUpdate = [&](int versionRequests) {
        // A daily check maps its window for a moment while it minimises and hides it at start;
        // only a window seen after the version request is the one that offers the update.
        QVERIFY2(QTest::qWaitFor(
                     [&] { return home.requests().count(versionRequestLine) == versionRequests; },
                     10000),
                 "the updater asked for no version");
        QVERIFY2(QTest::qWaitFor([] { return !visibleWindows().isEmpty(); }, 10000),
                 "no visible updater window");
    };
    const QString installer = GLIMMERPANE_DEMO_INSTALLER_BIN;
    const QString installerRequest = "GET /" + QFileInfo(installer).fileName() + " - 200";
    const auto clickDownload = [&](int installerRequests) {
        // A click that lands while the check still runs meets a disabled button; one on
        // "Download Update" shows at once as the installer request.
        bool started = false;
        for (int attempt = 0; attempt < 5 && !started; ++attempt) {
            // The update button of the 500x310 window, whatever it reads.
            xdotool(
                {"mousemove", "--window", visibleWindows().value(0), "445", "274", "click", "1"});
            started = QTest::qWaitFor(
                [&] { return home.requests().count(installerRequest) == installerRequests; }, 3000);
        }
        QVERIFY2(started, qPrintable(home.requests().join('\n')));
    };
    const QString temporary = home.updateFolder() + "Glimmerpane109.exe_tmp";

    if (then == "second starts") {
        windowOffersUpdate(1);
        const auto usage = [pid = updater->processId()] { // resident pages, open files
            QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
            const QByteArray pages = statm.open(QIODevice::ReadOnly) ? statm.readAll() : "";
            return qMakePair(pages.split(' ').value(1).toLongLong(),
                             int(QDir(QStringLiteral("/proc/%1/fd").arg(pid)).count()));
        };
        const auto before = usage();
        for (int start = 0; start < starts; ++start) {
            QProcess *second = home.start(arguments);
            QVERIFY(finishesWithin(second, 5000));
            QCOMPARE(second->exitCode(), 0);
        }
        const auto after = usage();
        qInfo("after %d second starts: resident %lld -> %lld pages, open files %d -> %d", starts,
              before.first, after.first, before.second, after.second);
        QVERIFY(after.first - before.first < 4096 && after.second - before.second < 4);
        QVERIFY(QTest::qWaitFor([] { return visibleWindows().size() == 1; }, 5000));
        // The first took each message; the second starts opened no log of their own.
        QCOMPARE(home.readLog().count(" - raised by another start\n"), starts);
        QCOMPARE(updater->state(), QProcess::Running);
    } else if (then == "kill and restart") {
        windowOffersUpdate(1);
        clickDownload(1);
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo(temporary).size() > 0; }, 10000));
        updater->kill();
        QVERIFY(finishesWithin(updater, 5000));
        QVERIFY(QFileInfo::exists(temporary) && !QFileInfo::exists(home.installerRecordPath()));

        updater = home.start(arguments);
        windowOffersUpdate(2);
        clickDownload(2);
        QVERIFY2(
            QTest::qWaitFor([&] { return QFileInfo::exists(home.installerRecordPath()); }, 30000),
            qPrintable(home.readLog()));
        QCOMPARE(readFileBytes(home.updateFolder() + "Glimmerpane109.exe"),
                 readFileBytes(installer));
        QVERIFY(!QFileInfo::exists(temporary));
    }
    if (then != "second starts") {
        QVERIFY(finishesWithin(updater, 15000));
        QCOMPARE(updater->exitStatus(), QProcess::NormalExit);
        QCOMPARE(updater->exitCode(), 0);
    }
    const QString log = home.readLog();
    const QRegularExpression line("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d - " + logLine + "$",
                                  QRegularExpression::MultilineOption);
    QVERIFY2(logLine.isEmpty() || line.match(log).hasMatch(), qPrintable(log));
    QVERIFY(home.requests().startsWith(versionRequestLine));
}

UPDATER_TEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
