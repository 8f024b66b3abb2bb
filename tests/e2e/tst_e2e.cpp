// The real GlimmerpaneUpdater as its users meet it: a separate process against the real version
// service program, its window on the X display that ctest runs this under (xvfb-run), clicked
// with real input events through xdotool.
#include "tests/support/testsupport.h"
#include "tests/support/updaterhome.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Its output; a search that finds nothing fails with nothing written.
QString xdotool(const QStringList &arguments)
{
    QProcess tool;
    tool.start("xdotool", arguments);
    tool.waitForFinished(10000);
    return QString::fromLatin1(tool.readAllStandardOutput());
}

// Ids of the mapped updater windows.
QStringList visibleWindows()
{
    return xdotool({"search", "--onlyvisible", "--name", "^Glimmerpane"})
        .split('\n', Qt::SkipEmptyParts);
}

} // namespace

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
    QTest::addColumn<QString>("then");    // "ends", "second start" or "click"
    QTest::addColumn<QString>("logLine"); // expected in the log; empty for none

    const QStringList daily{"version=1.0.8", "dailyCheck"};
    // The service signs its installer, and the updater gets its key.
    const QStringList withInstaller{"--installer", GLIMMERPANE_DEMO_INSTALLER_BIN};
    const auto row = [](const char *name, const QStringList &options, const QStringList &arguments,
                        const char *then, const char *logLine) {
        QTest::newRow(name) << options << arguments << then << logLine;
    };
    row("daily check, nothing newer", {"--latest-version", "108"}, daily, "ends", "");
    row("daily check, stalled service", {"--fault", "stall"}, daily, "ends", "JSON format err");
    row("daily check offers 109, second start raises it", withInstaller, daily, "second start", "");
    row("signed installer downloaded and started by a click", withInstaller, {"version=1.0.8"},
        "click", "install start success");
}

void TestEndToEnd::runs()
{
    QFETCH(QStringList, serviceOptions);
    QFETCH(QStringList, arguments);
    QFETCH(QString, then);
    QFETCH(QString, logLine);

    UpdaterHome home;
    QVERIFY2(home.startService(serviceOptions), qPrintable(home.serviceOutput()));
    home.setEnvironment("GLIMMERPANE_TIME_LIMIT_MS", "2000"); // a stalled service: 2 s, not 30
    QProcess *updater = home.start(arguments);
    const auto versionAsked = [&] { return home.requests().contains(versionRequestLine); };
    if (then != "ends") {
        // A daily check maps its window for a moment while it minimises and hides it at start;
        // only a window seen after the version request is the one that offers the update.
        QVERIFY2(QTest::qWaitFor(versionAsked, 10000), "the updater asked for no version");
        QVERIFY2(QTest::qWaitFor([] { return !visibleWindows().isEmpty(); }, 10000),
                 "no visible updater window");
    }
    if (then == "second start") {
        const QString logBefore = home.readLog();
        QProcess *second = home.start(arguments);
        QVERIFY(finishesWithin(second, 5000));
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(QTest::qWaitFor([] { return visibleWindows().size() == 1; }, 5000));
        QCOMPARE(home.readLog(), logBefore); // the second start opened no log
        QCOMPARE(updater->state(), QProcess::Running);
    } else if (then == "click") {
        const QString installer = GLIMMERPANE_DEMO_INSTALLER_BIN;
        const QString installerRequest = "GET /" + QFileInfo(installer).fileName() + " - 200";
        // A click that lands while the check still runs meets a disabled button; one on
        // "Download Update" shows at once as the installer request.
        bool downloadStarted = false;
        for (int attempt = 0; attempt < 5 && !downloadStarted; ++attempt) {
            // The update button of the 500x310 window, whatever it reads.
            xdotool(
                {"mousemove", "--window", visibleWindows().value(0), "445", "274", "click", "1"});
            downloadStarted =
                QTest::qWaitFor([&] { return home.requests().contains(installerRequest); }, 3000);
        }
        QVERIFY2(downloadStarted, qPrintable(home.requests().join('\n')));
        QVERIFY2(
            QTest::qWaitFor([&] { return QFileInfo::exists(home.installerRecordPath()); }, 30000),
            qPrintable(home.readLog()));
        QCOMPARE(fileBytes(home.updateFolder() + "Glimmerpane109.exe"), fileBytes(installer));
    }
    if (then != "second start") {
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
