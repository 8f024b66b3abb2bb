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
// The main application's settings.
const QString server = R"(HKCU\Software\Halvenord\Glimmerpane\server)";

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
    void installOutcome();
    void settingsFromRegistry_data();
    void settingsFromRegistry();
    void trayAndSecondStarts();
    void unreachableService();

private:
    bool run(const QString &program, const QStringList &arguments, int timeoutMs = 60000);
    // Sets a value in the registry (an int as a DWORD); a null value: removes it, if it is there.
    bool setRegistry(const QString &key, const QString &name, const QVariant &value);
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

bool TestWindowsEndToEnd::setRegistry(const QString &key, const QString &name,
                                      const QVariant &value)
{
    const bool number = value.typeId() == QMetaType::Int;
    return value.isNull() ? run(GLIMMERPANE_WINE, {"reg", "delete", key, "/v", name, "/f"}) || true
                          : run(GLIMMERPANE_WINE,
                                {"reg", "add", key, "/v", name, "/t",
                                 number ? "REG_DWORD" : "REG_SZ", "/d", value.toString(), "/f"});
}

void TestWindowsEndToEnd::downloadAndStartInstaller_data()
{
    QTest::addColumn<QString>("installer");
    QTest::addColumn<QString>("how");      // "close" asked during the download, "drop" at 40%,
                                           // "declined en"/"declined zh", "Return" held, else a
                                           // click
    QTest::addColumn<QString>("variable"); // the updater's "NAME=value"
    QTest::addColumn<int>("holdMs");       // a scanner holds the fresh file
    QTest::addColumn<QString>("logLines"); // what the log gains, "; "
    QTest::addColumn<QString>("folder");   // where the installer lands

    const QString admin = "glimmerpane-demo-installer-admin.exe",
                  plain = "glimmerpane-demo-installer.exe",
                  prepare = "prepare to download update; ", success = "install start success",
                  error = "GLIMMERPANE_SIMULATE_START_ERROR=";
    const auto row = [](const char *name, const QString &installer, const QString &how,
                        const QString &variable, int holdMs, const QString &logLines,
                        const QString &folder = "update") {
        QTest::newRow(name) << installer << how << variable << holdMs << logLines << folder;
    };
    row("click, close asked during the download", plain, "close", "", 0, prepare + success);
    row("Return held for 1.5 s: one download", plain, "Return", "", 0, prepare + success);
    row("click, dropped at 40%: retried from there", plain, "drop", "", 0,
        prepare + "download retry 1; " + success);
    // Where Windows answers otherwise than Wine, through the staging switches.
    row("requireAdministrator, 740: through the shell", admin, "", error + "740", 0,
        prepare + success);
    for (const char *language : {"declined en", "declined zh"})
        row(language, admin, language, error + "1223", 0,
            prepare + "install start cancelled; " + success);
    row("scanner holds it 2 s", plain, "", "", 2000, prepare + success);
    row("scanner holds it past the limit", plain, "", "", 14000,
        prepare + "rename installer failed; download failed");
    row("update folder of another account", plain, "", "GLIMMERPANE_SIMULATE_FOLDER_OWNER=other", 0,
        prepare + "update folder of another account: using this account's own; " + success,
        "update-S-");
}

void TestWindowsEndToEnd::downloadAndStartInstaller()
{
    QFETCH(QString, installer);
    QFETCH(QString, how);
    QFETCH(QString, variable);
    QFETCH(int, holdMs);
    QFETCH(QString, logLines);
    QFETCH(QString, folder);
    QVERIFY(setRegistry(server, "language", how == "declined zh" ? "中文" : QVariant()));
    UpdaterHome home;
    if (!variable.isEmpty())
        home.environment().insert(variable.section('=', 0, 0), variable.section('=', 1));
    const qint64 size = QFileInfo(fixtures + installer).size();
    // Slow enough for the close guard's question, or for the scanner to open the file first.
    const QString throttle = QString::number(how == "close" ? size / 4 : size * 2);
    const QString dropAt = QString::number(size * 2 / 5);
    QProcess *updater =
        start(home,
              QStringList{"--installer", fixtures + installer, "--throttle", throttle} +
                  (how == "drop" ? QStringList{"--drop-after", dropAt} : QStringList()),
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
    if (how == "close")
        saveScreenshot(window, "light English");
    const auto downloading = [&] { return logged("prepare to download"); };
    if (how == "Return") // before the reply has offered the update, Return only checks again
        QVERIFY(xdotoolUntil({"windowfocus", "--sync", window, "keydown", "Return", "sleep", "1.5",
                              "keyup", "Return"},
                             downloading));
    else
        QVERIFY(clickUntil(window, updateButton, downloading));
    if (how == "close") {
        saveScreenshot(window, "downloading");
        // Closing during the download asks first; Escape answers "No" and the download goes on.
        QVERIFY(clickUntil(window, closeButton, [] { return visibleWindows().size() == 2; }));
        saveScreenshot("root", "close guard");
        xdotool({"key", "Escape"});
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows().size(), 1, 5000);
    } else if (how.startsWith("declined")) { // the window stays; the next click installs
        QVERIFY(QTest::qWaitFor([&] { return logged("install start cancelled"); }, 30000));
        // The pointer off the button, which it colours; then the button's blue, above its text.
        xdotool({"mousemove", "--window", window, "20", "150"});
        QVERIFY(QTest::qWaitFor(
            [&] {
                return screenshot(window).pixelColor(updateButton - QPoint(0, 8)) ==
                       QColor(0x1880F2);
            },
            5000));
        saveScreenshot(window, how);
        QVERIFY(clickUntil(window, updateButton, [&] { return logged("install start success"); }));
    }
    QVERIFY(QTest::qWaitFor([&] { return logged(logLines.section("; ", -1)); }, 30000));
    if (logLines.endsWith("download failed"))
        QVERIFY(
            clickUntil(window, closeButton, [&] { return updater->state() != QProcess::Running; }));
    QVERIFY(finishesWithin(updater, 15000) && updater->exitCode() == 0);
    QVERIFY(holdMs == 0 || (finishesWithin(&holder, 20000) && holder.exitCode() == 0));
    const QString log = home.readLog(); // with Windows line ends throughout
    QCOMPARE(log.count('\n'), log.count("\r\n"));
    QCOMPARE(log.split("\r\n", Qt::SkipEmptyParts)
                 .replaceInStrings(QRegularExpression("^.* - "), "")
                 .join("; "),
             logLines);
    const QStringList requests = home.requests().filter("GET /glimmerpane-demo-installer");
    QCOMPARE(requests.size(), how == "drop" ? 2 : 1);
    QVERIFY(how != "drop" || requests.constLast().contains(" 206 bytes=" + dropAt + "-"));
    const bool ran = logLines.endsWith("success");
    QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(home.installerRecordPath()); },
                            ran ? 10000 : 0) == ran);
    const QDir product(prefix + "/drive_c/Glimmerpane");
    const QStringList landed = product.entryList({folder + '*'}, QDir::Dirs);
    QVERIFY(!ran || (landed.size() == 1 &&
                     readFileBytes(product.filePath(landed[0]) + "/Glimmerpane109.exe") ==
                         readFileBytes(fixtures + installer)));
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

    const QString personalize = R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\)"
                                R"(Personalize)";
    QVERIFY(setRegistry(server, "applicationTheme", applicationTheme) &&
            setRegistry(personalize, "AppsUseLightTheme", appsUseLightTheme) &&
            setRegistry(server, "language", language.isEmpty() ? QVariant() : language));

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
    QProcess *second = home.start({"version=1.0.8"});
    QVERIFY(finishesWithin(second, 10000));
    QCOMPARE(second->exitCode(), 0);
    QTRY_COMPARE(home.readLog().count(" - raised by another start\r\n"), 1);

    // Killed, the first leaves its mutexes abandoned and its pipe gone: the next start leads.
    first->kill();
    QVERIFY(finishesWithin(first, 10000));
    QProcess *third = home.start({"version=1.0.8"});
    QVERIFY(!home.windowAfter(2).isEmpty());
    QCOMPARE(third->state(), QProcess::Running);
    QCOMPARE(home.readLog().count(" - raised by another start\r\n"), 1);
}

void TestWindowsEndToEnd::unreachableService()
{
    QTcpServer closed; // a port that was free a moment ago and has nobody listening now
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    UpdaterHome home;
    home.environment().insert("GLIMMERPANE_VERSION_SERVICE",
                              QStringLiteral("https://127.0.0.1:%1").arg(closed.serverPort()));
    closed.close();
    // Wine hands a web address to the first browser on PATH: a stub records it.
    const QString own = QFileInfo(home.installerRecordPath()).path();
    QVERIFY(
        writeFileBytes(own + "/xdg-open", "#!/bin/sh\necho \"$@\" >>" + own.toUtf8() + "/web\n"));
    QVERIFY(QFile::setPermissions(own + "/xdg-open", QFile::ExeOwner | QFile::ReadOwner));
    home.environment().insert("PATH", own + ':' + home.environment().value("PATH"));
    QProcess *updater = start(home, {"none"}, {"version=1.0.8"});
    const auto failures = [&] { return home.readLog().count(" - JSON format err\r\n"); };
    QTRY_COMPARE_WITH_TIMEOUT(failures(), 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!visibleWindows().isEmpty(), 10000);
    // Still answering, to the keyboard: after a check the update button has the focus back, so
    // the next Return asks again instead of opening the web site. The close button ends it.
    const QString window = visibleWindows().value(0);
    QVERIFY(clickUntil(window, QPoint(250, 120), [] { return true; }));
    xdotool({"windowfocus", "--sync", window, "key", "Tab"});
    for (const int wanted : {2, 3})
        QVERIFY(xdotoolUntil({"windowfocus", "--sync", window, "key", "Return"},
                             [&] { return failures() == wanted; }));
    QVERIFY(!QFileInfo::exists(own + "/web"));
    QVERIFY(clickUntil(window, closeButton, [&] { return updater->state() != QProcess::Running; }));
    QCOMPARE(updater->exitCode(), 0);
}

UPDATER_TEST_MAIN(TestWindowsEndToEnd)
#include "tst_e2e_windows.moc"
