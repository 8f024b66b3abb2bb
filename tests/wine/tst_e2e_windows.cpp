// The Windows program as a Windows user meets it: cross-built (scripts/build-windows --staging),
// run from its deploy folder under Wine in a prefix of this test's own, its window on the X
// display that ctest runs this under (xvfb-run), clicked with real input events, against the
// Linux version service on 127.0.0.1 over HTTPS through schannel.
#include "tests/support/childprocess.h"
#include "tests/support/testsupport.h"
#include "tests/support/updaterhome.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QStandardPaths>
#include <QTcpServer>
#include <QtEndian>

namespace {

const QString deployFolder = QStringLiteral(GLIMMERPANE_WINDOWS_DEPLOY);
// The stand-in installer lies beside the deploy folder.
const QString fixtures = QFileInfo(deployFolder).path() + "/fixtures/";
// Points of the 500 x 310 window, from screenshots.
const QPoint updateButton(445, 274), minimiseButton(419, 37), closeButton(457, 37);
const QPoint panelBackground(20, 150);

// Kept beside the test for a person to look at.
void saveScreenshot(const QString &window, QString name)
{
    name.replace(QRegularExpression("[^A-Za-z0-9]+"), "-");
    screenshot(window).save(QDir::currentPath() + "/screenshot-" + name + ".png");
}

} // namespace

class TestWindowsEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void downloadAndStartInstaller_data();
    void downloadAndStartInstaller();
    void installerStarts_data();
    void installerStarts();
    void installOutcome();
    void settingsFromRegistry_data();
    void settingsFromRegistry();
    void trayAndSecondStarts();
    void dailyCheckFindsNothingNewer();
    void unreachableService();

private:
    bool run(const QString &program, const QStringList &arguments, int timeoutMs = 60000);
    // Sets "server/language" in the registry; empty: removes it, if it is there.
    bool setLanguage(const QString &language);
    // The Windows program for this user, against its service started with these options
    // (none: no service); null when the service did not start.
    QProcess *start(UpdaterHome &home, const QStringList &serviceOptions,
                    const QStringList &arguments);
    bool prepare(UpdaterHome &home, const QStringList &serviceOptions);

    QString prefix;
    QProcessEnvironment wineVariables;
};

void TestWindowsEndToEnd::initTestCase()
{
    QStringList missing;
    if (!QFileInfo::exists(deployFolder + "/GlimmerpaneUpdater.exe"))
        missing << "the Windows program in " + deployFolder +
                       " (scripts/build-windows --staging, with Qt for Windows from "
                       "../shared/windows-qt/build.sh or GLIMMERPANE_QT_WINDOWS)";
    if (QStandardPaths::findExecutable("xdotool").isEmpty() ||
        QStandardPaths::findExecutable("import").isEmpty() ||
        qEnvironmentVariableIsEmpty("DISPLAY"))
        missing << "xvfb-run, xdotool and ImageMagick";
    if (!missing.isEmpty() && qEnvironmentVariableIsEmpty("CI"))
        QSKIP(qPrintable("needs " + missing.join(", ")));
    QVERIFY2(missing.isEmpty(), qPrintable("CI lacks " + missing.join(", ")));

    prefix = testSandboxPath() + "/wineprefix";
    wineVariables = QProcessEnvironment::systemEnvironment();
    wineVariables.insert("WINEPREFIX", prefix);
    wineVariables.insert("WINEDEBUG", "-all");
    wineVariables.insert("WINEDLLOVERRIDES", "mscoree,mshtml="); // no Mono or Gecko offers
    wineVariables.insert("LC_ALL", "C.UTF-8");                   // command lines with Chinese text
    wineVariables.remove("QT_QPA_PLATFORM"); // the Windows program has its own platforms

    // A server that outlives each program saves its start-up on every run.
    QVERIFY(QDir().mkpath(prefix) && run(GLIMMERPANE_WINESERVER, {"--persistent"}));
    QVERIFY2(run(GLIMMERPANE_WINE, {"wineboot", "--init"}, 150000), "no Wine prefix");
    // schannel takes CAs from the system's stores, not from the program (see the README): the
    // test CA goes where "certutil -addstore Root" puts it, a registry value holding the
    // certificate as property 32 (flags 1, length, DER) under its SHA-1 thumbprint.
    const QByteArray der = QSslCertificate::fromPath(testDataPath("ca.pem")).value(0).toDer();
    const quint32 length = qToLittleEndian(quint32(der.size()));
    const QByteArray blob = QByteArray::fromHex("2000000001000000") +
                            QByteArray(reinterpret_cast<const char *>(&length), 4) + der;
    const QString root = R"(HKLM\Software\Microsoft\SystemCertificates\Root\Certificates\)";
    QVERIFY(!der.isEmpty() &&
            run(GLIMMERPANE_WINE,
                {"reg", "add",
                 root + QCryptographicHash::hash(der, QCryptographicHash::Sha1).toHex().toUpper(),
                 "/v", "Blob", "/t", "REG_BINARY", "/d", blob.toHex(), "/f"}));
}

void TestWindowsEndToEnd::init()
{
    QTRY_VERIFY_WITH_TIMEOUT(visibleWindows().isEmpty(), 10000);
    QDir(prefix + "/drive_c/Glimmerpane").removeRecursively();
}

void TestWindowsEndToEnd::cleanupTestCase()
{
    // Ended and waited for before the sandbox with the prefix goes.
    if (!prefix.isEmpty() && run(GLIMMERPANE_WINESERVER, {"--kill"}))
        run(GLIMMERPANE_WINESERVER, {"--wait"});
}

bool TestWindowsEndToEnd::run(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(wineVariables);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return finishesWithin(&process, timeoutMs) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QProcess *TestWindowsEndToEnd::start(UpdaterHome &home, const QStringList &serviceOptions,
                                     const QStringList &arguments)
{
    return prepare(home, serviceOptions) ? home.start(arguments) : nullptr;
}

bool TestWindowsEndToEnd::prepare(UpdaterHome &home, const QStringList &serviceOptions)
{
    if (serviceOptions != QStringList{"none"} && !home.startService(serviceOptions)) {
        qWarning("%s", qPrintable(home.serviceOutput()));
        return false;
    }
    QProcessEnvironment &variables = home.environment();
    variables.insert(wineVariables);
    variables.remove("GLIMMERPANE_EXTRA_CA_CERTS"); // the prefix's root store has the CA
    variables.insert("GLIMMERPANE_INSTALLER_RECORD", "Z:" + home.installerRecordPath());
    home.runUpdaterAs(GLIMMERPANE_WINE, {deployFolder + "/GlimmerpaneUpdater.exe"},
                      prefix + "/drive_c/");
    return true;
}

void TestWindowsEndToEnd::downloadAndStartInstaller_data()
{
    QTest::addColumn<QString>("how");  // "Return" on the offered update, else a click on it
    QTest::addColumn<bool>("dropped"); // the first connection reset at 40%: retried from there
    QTest::newRow("click, close asked during the download") << "click" << false;
    QTest::newRow("Return") << "Return" << false;
    QTest::newRow("click, dropped at 40%") << "click" << true;
}

void TestWindowsEndToEnd::downloadAndStartInstaller()
{
    QFETCH(QString, how);
    QFETCH(bool, dropped);
    UpdaterHome home;
    const QString installer = fixtures + "glimmerpane-demo-installer.exe";
    // Slow enough for the close guard's question to come while the download runs.
    const QString throttle = QString::number(QFileInfo(installer).size() / 4);
    const QString dropAt = QString::number(QFileInfo(installer).size() * 2 / 5);
    QProcess *updater = start(home,
                              QStringList{"--installer", installer, "--throttle", throttle} +
                                  (dropped ? QStringList{"--drop-after", dropAt} : QStringList()),
                              {"version=1.0.8"});
    QVERIFY(updater);
    const QString window = home.windowAfter(1);
    QVERIFY2(!window.isEmpty(), qPrintable(home.readLog()));
    const QString temporary = home.updateFolder() + "Glimmerpane109.exe_tmp";
    const auto downloading = [&] { return QFileInfo(temporary).size() > 0; };
    if (how == "Return") {
        // Return before the reply has made the button "Download Update" only checks again.
        bool started = false;
        for (int attempt = 0; attempt < 5 && !started; ++attempt) {
            xdotool({"windowfocus", "--sync", window, "key", "Return"});
            started = QTest::qWaitFor(downloading, 3000);
        }
        QVERIFY(started);
    } else if (dropped) {
        QVERIFY(clickUntil(window, updateButton, downloading));
    } else {
        saveScreenshot(window, "light English");
        QVERIFY(clickUntil(window, updateButton, downloading));
        saveScreenshot(window, "downloading");
        // Closing during the download asks first; Escape answers "No" and the download goes on.
        QVERIFY(clickUntil(window, closeButton, [] { return visibleWindows().size() == 2; }));
        saveScreenshot("root", "close guard");
        xdotool({"key", "Escape"});
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows().size(), 1, 5000);
    }

    QVERIFY2(QTest::qWaitFor([&] { return QFileInfo::exists(home.installerRecordPath()); }, 30000),
             qPrintable(home.readLog()));
    QVERIFY(finishesWithin(updater, 15000));
    QCOMPARE(updater->exitCode(), 0);
    QCOMPARE(readFileBytes(home.updateFolder() + "Glimmerpane109.exe"), readFileBytes(installer));
    const QString log = home.readLog(); // with Windows line ends throughout
    QVERIFY2(log.contains(" - prepare to download update\r\n") &&
                 log.contains(" - install start success\r\n") &&
                 log.count('\n') == log.count("\r\n") &&
                 log.contains(" - download retry 1\r\n") == dropped,
             qPrintable(log));
    QVERIFY(!dropped || home.requests().join('\n').contains(" 206 bytes=" + dropAt + "-"));
}

bool TestWindowsEndToEnd::setLanguage(const QString &language)
{
    const QString server = R"(HKCU\Software\Halvenord\Glimmerpane\server)";
    return language.isEmpty()
               ? run(GLIMMERPANE_WINE, {"reg", "delete", server, "/v", "language", "/f"}) || true
               : run(GLIMMERPANE_WINE, {"reg", "add", server, "/v", "language", "/t", "REG_SZ",
                                        "/d", language, "/f"});
}

void TestWindowsEndToEnd::installerStarts_data()
{
    QTest::addColumn<QString>("installer");
    QTest::addColumn<QStringList>("variables"); // "NAME=value" for the updater
    QTest::addColumn<int>("holdMs");            // a scanner holds the fresh file; 0: none
    QTest::addColumn<QString>("language");      // a declined prompt's screenshot in it
    QTest::addColumn<QString>("logLines");      // what the log gains from the click on, "; "
    QTest::addColumn<QString>("folder");        // where the installer lands

    const QString admin = "glimmerpane-demo-installer-admin.exe",
                  plain = "glimmerpane-demo-installer.exe", shared = "update";
    const QString started = "prepare to download update; install start success";
    const QString cancelled = "prepare to download update; install start cancelled; "
                              "install start success";
    QTest::newRow("requireAdministrator, 740: through the shell")
        << admin << QStringList{"GLIMMERPANE_SIMULATE_START_ERROR=740"} << 0 << "" << started
        << shared;
    QTest::newRow("declined prompt, English")
        << admin << QStringList{"GLIMMERPANE_SIMULATE_START_ERROR=1223"} << 0 << "en" << cancelled
        << shared;
    QTest::newRow("declined prompt, Chinese")
        << admin << QStringList{"GLIMMERPANE_SIMULATE_START_ERROR=1223"} << 0 << "zh" << cancelled
        << shared;
    QTest::newRow("scanner holds it 2 s")
        << plain << QStringList() << 2000 << "" << started << shared;
    QTest::newRow("scanner holds it past the limit")
        << plain << QStringList() << 14000 << ""
        << "prepare to download update; rename installer failed; download failed" << shared;
    QTest::newRow("update folder of another account")
        << plain << QStringList{"GLIMMERPANE_SIMULATE_FOLDER_OWNER=other"} << 0 << ""
        << "prepare to download update; update folder of another account: using this "
           "account's own; install start success"
        << "update-";
}

// How the installer's start ends where Windows differs from Wine, played through with the staging
// switches: elevation, a declined prompt, a virus scanner, another account's update folder.
void TestWindowsEndToEnd::installerStarts()
{
    QFETCH(QString, installer);
    QFETCH(QStringList, variables);
    QFETCH(int, holdMs);
    QFETCH(QString, language);
    QFETCH(QString, logLines);
    QFETCH(QString, folder);
    QVERIFY(setLanguage(language == "zh" ? "中文" : ""));
    UpdaterHome home;
    for (const QString &variable : variables)
        home.environment().insert(variable.section('=', 0, 0), variable.section('=', 1));
    const qint64 size = QFileInfo(fixtures + installer).size();
    // Slow enough for the scanner to open the file before it is whole.
    QProcess *updater =
        start(home, {"--installer", fixtures + installer, "--throttle", QString::number(size * 2)},
              {"version=1.0.8"});
    QVERIFY(updater);
    const QString window = home.windowAfter(1);
    QVERIFY2(!window.isEmpty(), qPrintable(home.readLog()));
    QProcess holder;
    holder.setProcessEnvironment(wineVariables);
    if (holdMs > 0)
        holder.start(GLIMMERPANE_WINE, {GLIMMERPANE_FILE_HOLDER, "hold",
                                        R"(C:\Glimmerpane\update\Glimmerpane109.exe_tmp)",
                                        QString::number(size), QString::number(holdMs)});
    const auto logged = [&](const QString &line) { return home.readLog().contains(line); };
    QVERIFY(clickUntil(window, updateButton, [&] { return logged("prepare to download"); }));
    if (!language.isEmpty()) {
        // The window stays, offering the installer that is there; the next click starts it.
        QVERIFY(QTest::qWaitFor([&] { return logged("install start cancelled"); }, 30000));
        // The pointer off the button, which it would colour; the wait is for the repaint to reach
        // the screenshot, not for the state.
        xdotool({"mousemove", "--window", window, QString::number(panelBackground.x()),
                 QString::number(panelBackground.y())});
        QTest::qWait(500);
        saveScreenshot(window, "declined " + language);
        QVERIFY(clickUntil(window, updateButton, [&] { return logged("install start success"); }));
    }
    QVERIFY(QTest::qWaitFor([&] { return logged(logLines.section("; ", -1)); }, 30000));
    if (holdMs > 10000)
        QVERIFY(
            clickUntil(window, closeButton, [&] { return updater->state() != QProcess::Running; }));
    QVERIFY(finishesWithin(updater, 15000));
    QCOMPARE(updater->exitCode(), 0);
    QVERIFY(holdMs == 0 || (finishesWithin(&holder, 20000) && holder.exitCode() == 0));
    QStringList lines;
    for (const QString &line : home.readLog().split("\r\n", Qt::SkipEmptyParts))
        lines << line.section(" - ", 1);
    QCOMPARE(lines.join("; "), logLines);
    QCOMPARE(home.requests().filter("GET /glimmerpane-demo-installer").size(), 1);
    const bool ran = logLines.endsWith("success");
    QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(home.installerRecordPath()); },
                            ran ? 10000 : 0) == ran);
    const QStringList landed =
        QDir(prefix + "/drive_c/Glimmerpane").entryList({"*"}, QDir::Dirs | QDir::NoDotAndDotDot);
    QVERIFY2(!ran || landed.filter(QRegularExpression("^" + folder)).size() == 1,
             qPrintable(landed.join(' ')));
}

void TestWindowsEndToEnd::installOutcome()
{
    UpdaterHome home;
    QVERIFY(prepare(home, {"--installer", fixtures + "glimmerpane-demo-installer.exe"}));
    const QString failed = home.installAndStartAgain("GET /glimmerpane-demo-installer.exe - ");
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
}

void TestWindowsEndToEnd::settingsFromRegistry_data()
{
    QTest::addColumn<QString>("language");      // "server/language"; empty for none
    QTest::addColumn<int>("applicationTheme");  // "server/applicationTheme"
    QTest::addColumn<int>("appsUseLightTheme"); // the Windows preference
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("dark");

    QTest::newRow("Chinese, dark") << "中文" << 2 << 1 << "Glimmerpane 更新" << true;
    QTest::newRow("following Windows: dark") << "" << 0 << 0 << "Glimmerpane Update" << true;
    QTest::newRow("following Windows: light") << "" << 0 << 1 << "Glimmerpane Update" << false;
}

void TestWindowsEndToEnd::settingsFromRegistry()
{
    QFETCH(QString, language);
    QFETCH(int, applicationTheme);
    QFETCH(int, appsUseLightTheme);
    QFETCH(QString, title);
    QFETCH(bool, dark);

    const QString server = R"(HKCU\Software\Halvenord\Glimmerpane\server)";
    const QString personalize = R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\)"
                                R"(Personalize)";
    const auto add = [&](const QString &key, const QString &name, const QVariant &value) {
        const bool number = value.typeId() == QMetaType::Int;
        return run(GLIMMERPANE_WINE,
                   {"reg", "add", key, "/v", name, "/t", number ? "REG_DWORD" : "REG_SZ", "/d",
                    value.toString(), "/f"});
    };
    run(GLIMMERPANE_WINE, {"reg", "delete", server, "/f"});
    QVERIFY(add(server, "applicationTheme", applicationTheme) &&
            add(personalize, "AppsUseLightTheme", appsUseLightTheme));
    QVERIFY(language.isEmpty() || add(server, "language", language));

    UpdaterHome home;
    QVERIFY(start(home, {"--latest-version", "108"}, {"version=1.0.8"}));
    const QString window = home.windowAfter(1);
    QVERIFY2(!window.isEmpty(), qPrintable(home.readLog()));
    QCOMPARE(xdotool({"getwindowname", window}).trimmed(), title);
    const int lightness = screenshot(window).pixelColor(panelBackground).lightness();
    saveScreenshot(window, QTest::currentDataTag());
    QVERIFY2(dark ? lightness < 80 : lightness > 200, qPrintable(QString::number(lightness)));
}

void TestWindowsEndToEnd::trayAndSecondStarts()
{
    UpdaterHome home;
    QProcess *first = start(home, {"--latest-version", "108"}, {"version=1.0.8"});
    QVERIFY(first);
    const QString window = home.windowAfter(1);
    QVERIFY(!window.isEmpty());
    // Minimised to the tray, which Wine keeps in a window of its own when X has none.
    QVERIFY(clickUntil(window, minimiseButton, [] { return visibleWindows().isEmpty(); }));
    QString tray;
    QVERIFY(QTest::qWaitFor(
        [&] {
            tray = xdotool({"search", "--onlyvisible", "--name", "^Wine System Tray$"}).trimmed();
            return !tray.isEmpty();
        },
        10000));
    QVERIFY(clickUntil(tray, QPoint(10, 10), [] { return visibleWindows().size() == 1; }));

    // Through the named mutexes and the named pipe of the real program.
    // It ends within a second of its own: what Wine takes to start any program, measured just
    // before under the same load, is not the updater's.
    QElapsedTimer clock;
    clock.start();
    QVERIFY(run(GLIMMERPANE_WINE, {"cmd", "/c", "exit"}));
    const qint64 wineStartMs = clock.restart();
    QProcess *second = home.start({"version=1.0.8"});
    QVERIFY(finishesWithin(second, 10000));
    const qint64 secondStartMs = clock.elapsed();
    qInfo("a second start took %lld ms; Wine started cmd in %lld ms", secondStartMs, wineStartMs);
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(secondStartMs - wineStartMs < 1000);
    QTRY_COMPARE(home.readLog().count(" - raised by another start\r\n"), 1);

    // Killed, the first leaves its mutexes abandoned and its pipe gone: the next start leads.
    first->kill();
    QVERIFY(finishesWithin(first, 10000));
    QProcess *third = home.start({"version=1.0.8"});
    QVERIFY(!home.windowAfter(2).isEmpty());
    QCOMPARE(third->state(), QProcess::Running);
    QCOMPARE(home.readLog().count(" - raised by another start\r\n"), 1);
}

void TestWindowsEndToEnd::dailyCheckFindsNothingNewer()
{
    UpdaterHome home;
    QProcess *updater = start(home, {}, {"version=1.0.9", "dailyCheck"}); // offers 109
    QVERIFY(updater);
    bool windowAfterCheck = false;
    QVERIFY(QTest::qWaitFor(
        [&] {
            windowAfterCheck |=
                home.requests().contains(versionRequestLine) && !visibleWindows().isEmpty();
            return updater->state() == QProcess::NotRunning;
        },
        30000));
    QVERIFY2(updater->exitCode() == 0, qPrintable(home.readLog()));
    QVERIFY(home.requests().contains(versionRequestLine) && !windowAfterCheck);
}

void TestWindowsEndToEnd::unreachableService()
{
    QTcpServer closed; // a port that was free a moment ago and has nobody listening now
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    UpdaterHome home;
    home.environment().insert("GLIMMERPANE_VERSION_SERVICE",
                              QStringLiteral("https://127.0.0.1:%1").arg(closed.serverPort()));
    closed.close();
    QProcess *updater = start(home, {"none"}, {"version=1.0.8"});
    const auto failures = [&] { return home.readLog().count(" - JSON format err\r\n"); };
    QTRY_COMPARE_WITH_TIMEOUT(failures(), 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!visibleWindows().isEmpty(), 10000);
    // Still answering: the button asks again, and the close button ends the run.
    const QString window = visibleWindows().value(0);
    QVERIFY(clickUntil(window, updateButton, [&] { return failures() == 2; }));
    QVERIFY(clickUntil(window, closeButton, [&] { return updater->state() != QProcess::Running; }));
    QCOMPARE(updater->exitCode(), 0);
}

UPDATER_TEST_MAIN(TestWindowsEndToEnd)
#include "tst_e2e_windows.moc"
