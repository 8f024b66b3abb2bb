#include "appearance/mytheme.h"
#include "appearance/settings.h"
#include "appearance/themepalettes.h"
#include "core/productpaths.h"
#include "core/updatelog.h"
#include "fixtures/httpsserver/localhttpsserver.h"
#include "tests/support/testsupport.h"
#include "update/downloadmanager.h"
#include "update/networksetup.h"
#include "window/mainwindow.h"

#include <QAccessible>
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <memory>

namespace {

QByteArray versionReply(const QString &appVersion, const QString &address, const QString &notes)
{
    const QJsonObject data{
        {"appVersion", appVersion}, {"updateAddress", address}, {"updateLog", notes}};
    return QJsonDocument(QJsonObject{{"code", 200}, {"data", data}}).toJson(QJsonDocument::Compact);
}

// The window's widgets, found by the object names the style sheets address them by.
struct Form
{
    explicit Form(MainWindow &window)
        : button(window.findChild<QPushButton *>("CUP_UpdateBtn")),
          closeButton(window.findChild<QPushButton *>("closeBtn")),
          info(window.findChild<QTextBrowser *>("updateInfo")),
          error(window.findChild<QLabel *>("errInfo")),
          progress(window.findChild<QProgressBar *>("progressBar"))
    {}
    // True once a query has ended, with or without success.
    bool checkDone() const
    {
        return !error->text().isEmpty() || info->toPlainText().contains("Latest app version");
    }
    QPushButton *button;
    QPushButton *closeButton;
    QTextBrowser *info;
    QLabel *error;
    QProgressBar *progress;
};

// What assistive technology reads. (Its events are not sent here: the offscreen platform never
// turns accessibility on, and only Qt's private API can; tst_e2e listens to them over AT-SPI.)
QString accessibleName(QWidget *widget)
{
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

// Runs the application's event loop until quit() (returns 0) or the time is up (returns -99).
int execUntilQuit(int timeoutMs)
{
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(-99); });
    watchdog.start(timeoutMs);
    return QApplication::exec();
}

// Presses `button` on the next modal message box and keeps its text; with thenStop, the event
// loop ends with -1 right after, so that an answer that does not quit shows as -1. The poll
// goes with `scope`, so that it never outlives its test.
void answerNextMessageBox(QObject *scope, QMessageBox::StandardButton button, QString *text,
                          bool thenStop)
{
    auto *poll = new QTimer(scope);
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        *text = box->text();
        poll->deleteLater();
        box->button(button)->click();
        // With the scope, so that a stop left over when the answer quit cannot end the event
        // loop of a later test.
        if (thenStop)
            QTimer::singleShot(0, scope, [] { QCoreApplication::exit(-1); });
    });
    poll->start(20);
}

} // namespace

// The window against a real local HTTPS server that stands in for the version service and the
// installer's host: every reply the service can give, the states of one update, and the ends of
// a run.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void versionReplies_data();
    void versionReplies();
    void stateTable();
    void downloadFailures_data();
    void downloadFailures();
    void swappedInstallerNotStarted();
    void raisedDuringDailyCheck();
    void startWithoutVersion();
    void closeGuard_data();
    void closeGuard();
    void translations_data();
    void translations();
    void keyboard();
    void focusFrame_data();
    void focusFrame();

private:
    // A window as start-up makes it; its start-up check queries the service 200 ms later.
    static std::unique_ptr<MainWindow> makeWindow(qint64 appVersion, bool dailyCheck = false);
    void serveUpdate(const LocalHttpsServer::Handler &installer);
    QString installerAddress() const { return server.url("/installer").toString(); }

    LocalHttpsServer server{LocalHttpsServer::Scheme::Https};
};

void TestMainWindow::initTestCase()
{
    QVERIFY(server.setCertificate(testDataPath("server.pem"), testDataPath("server.key")));
    QVERIFY2(server.listen(), qPrintable(server.errorString()));
    qputenv("GLIMMERPANE_VERSION_SERVICE", server.url(QString()).toString().toUtf8());
    qputenv("GLIMMERPANE_EXTRA_CA_CERTS", testDataPath("ca.pem").toUtf8());
    qputenv("GLIMMERPANE_TIME_LIMIT_MS", "1500");
    setUpNetwork();
    openUpdateLog();
    // Owned by the application, so that windows can come and go.
    Settings::init(qApp);
    MyTheme::init(qApp);
}

std::unique_ptr<MainWindow> TestMainWindow::makeWindow(qint64 appVersion, bool dailyCheck)
{
    auto window = std::make_unique<MainWindow>();
    window->appVersion = appVersion;
    if (dailyCheck) {
        window->showMinimized();
        window->hide();
        window->dailyCheck = true;
    } else {
        window->show();
    }
    return window;
}

// Offers 109 with the installer at "/installer", served by `installer`.
void TestMainWindow::serveUpdate(const LocalHttpsServer::Handler &installer)
{
    const QByteArray reply = versionReply("109", installerAddress(), "notes");
    server.setHandler([=](const HttpRequest &request, HttpResponse &response) {
        if (request.path == QLatin1String("/installer"))
            installer(request, response);
        else
            response.setBody(reply);
    });
}

// What only a real service shows: the request, limits on time and size, and the texts reaching
// the window (every kind of body is a row of the version check's own test).
void TestMainWindow::versionReplies_data()
{
    QTest::addColumn<QByteArray>("body"); // "stall", "endless": misbehaving services
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QString>("errInfo");
    QTest::addColumn<QString>("info"); // the text view afterwards

    const QString parseError = "can not parse response";
    QTest::newRow("stalled service")
        << QByteArray("stall") << "JSON format err" << parseError << "";
    QTest::newRow("endless body") << QByteArray("endless") << "JSON format err" << parseError << "";
    QTest::newRow("code 404") << QByteArray(R"({"code":404})") << ""
                              << "code is: 404"
                              << "";
    const QString versions = "Your app version is: 108\nLatest app version is: 109\n\n\n";
    QTest::newRow("newer version") << versionReply("109", "a", "Fixes.") << ""
                                   << "" << versions + "Fixes.";
    // Shown as they are: nothing fetched, nothing laid out as markup, no freeze.
    const QString image = R"(<img src="/dev/zero"><b style="color:red">Your app version is: 999)";
    QTest::newRow("markup is text") << versionReply("109", "a", image) << ""
                                    << "" << versions + image;
    const QString nested = QString("<table><tr><td>").repeated(3000);
    QTest::newRow("deeply nested markup") << versionReply("109", "a", nested) << ""
                                          << "" << versions + nested.left(1000) + u'\u2026';
    const QString line(1024 * 1024 - 200, 'x');
    QTest::newRow("one line of 1 MiB") << versionReply("109", "a", line) << ""
                                       << "" << versions + line.left(1000) + u'\u2026';
}

void TestMainWindow::versionReplies()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, logLine);
    QFETCH(QString, errInfo);
    QFETCH(QString, info);

    QStringList queries;
    server.setHandler([&](const HttpRequest &request, HttpResponse &response) {
        queries << request.path + QLatin1Char('?') + request.query.toString();
        if (body == "stall") {
            response.setGeneratedBody(1000);
            response.stallAfter(1);
        } else if (body == "endless") {
            response.setFraming(HttpResponse::Framing::Chunked);
            response.setGeneratedBody(-1);
        } else {
            response.setBody(body);
        }
    });
    const int logSize = updateLogText().size();

    auto window = makeWindow(108);
    Form form(*window);
    QTRY_VERIFY_WITH_TIMEOUT(form.checkDone(), 10000);
    QCOMPARE(queries, QStringList{"/api/front/index/get/version?appPlatform=Windows"});
    QCOMPARE(form.error->text(), errInfo);
    QCOMPARE(form.info->toPlainText(), info);
    const QScrollBar *bar = form.info->verticalScrollBar(); // long notes: at their end
    QCOMPARE(bar->value(), bar->maximum());
    const bool hasUpdate = !info.isEmpty();
    QCOMPARE(form.button->text(), hasUpdate ? "Download Update" : "Check Update");
    QVERIFY(form.button->isEnabled());
    QCOMPARE(window->hasUpdate, hasUpdate);
    QVERIFY(!window->downloading);
    QCOMPARE(window->installerName, hasUpdate ? "Glimmerpane109.exe" : "");
    const QString newLog = updateLogText().mid(logSize);
    QCOMPARE(newLog.section(" - ", 1), logLine.isEmpty() ? "" : logLine + "\n");
}

// Check, download, cancel, check again, download to the end: the button, the flags and the bar.
void TestMainWindow::stateTable()
{
    serveUpdate([](const HttpRequest &, HttpResponse &response) {
        response.setGeneratedBody(2 * 1024 * 1024);
        response.throttle(256 * 1024, 100); // slow enough to cancel half-way
    });
    auto window = makeWindow(108);
    Form form(*window);
    auto click = [&](const char *expectedText) {
        form.error->setText("stale");
        form.button->click();
        QCOMPARE(form.error->text(), QString());
        QCOMPARE(form.button->text(), QString::fromLatin1(expectedText));
        QCOMPARE(accessibleName(form.button), form.button->text());
        QVERIFY(form.button->isEnabled());
    };
    QTRY_COMPARE_WITH_TIMEOUT(form.button->text(), "Download Update", 10000);

    click("Cancel");
    QVERIFY(window->downloading && !window->hasUpdate);
    QTRY_VERIFY(form.progress->value() > 0);
    QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(form.progress);
    QCOMPARE(bar->valueInterface()->currentValue().toInt(), form.progress->value());
    window->progressBarUpdate(10, -1); // no length announced: a busy bar
    QCOMPARE(form.progress->maximum(), 0);
    click("Check Update"); // cancels
    QCOMPARE(form.progress->value(), 0);
    QCOMPARE(form.progress->maximum(), 100);
    QVERIFY(!window->downloading && !window->hasUpdate);
    click("Download Update"); // a new check, appended below the first
    QCOMPARE(form.info->toPlainText().count("version is: 109"), 2);

    click("Cancel");
    QTRY_COMPARE_WITH_TIMEOUT(form.button->text(), "Installing", 30000);
    QCOMPARE(accessibleName(form.button), "Installing");
    QCOMPARE(form.progress->value(), 100);
    QVERIFY(!form.button->isEnabled() && !window->downloading && !window->hasUpdate);
}

void TestMainWindow::downloadFailures_data()
{
    QTest::addColumn<QString>("failure"); // what goes wrong
    QTest::addColumn<QString>("logLine");

    QTest::newRow("server error, retried") << "500"
                                           << "download retry 3";
    QTest::newRow("update folder taken by a plain file") << "plain file"
                                                         << "create update folder failed";
}

// Whatever stops a download, the window goes back to Idle with "Download failed" and starts
// nothing.
void TestMainWindow::downloadFailures()
{
    QFETCH(QString, failure);
    QFETCH(QString, logLine);

    serveUpdate([=](const HttpRequest &, HttpResponse &response) {
        response.setStatus(failure == "500" ? 500 : 200);
    });
    const QString folder = QDir::cleanPath(updateFolderPath());
    QDir(folder).removeRecursively();
    QFile plain(folder);
    QVERIFY(failure != "plain file" || plain.open(QIODevice::WriteOnly));
    const int logSize = updateLogText().size();
    auto window = makeWindow(108);
    Form form(*window);
    QTRY_COMPARE_WITH_TIMEOUT(form.button->text(), "Download Update", 10000);
    form.button->click();
    QTRY_COMPARE_WITH_TIMEOUT(form.error->text(), "Download failed", 10000);
    plain.remove();
    QCOMPARE(form.button->text(), "Check Update");
    QVERIFY(form.button->isEnabled() && !window->downloading && !window->hasUpdate);
    QCOMPARE(form.progress->value(), 0);
    const QString newLog = updateLogText().mid(logSize);
    QVERIFY2(newLog.contains(" - " + logLine + "\n") && newLog.endsWith(" - download failed\n") &&
                 !newLog.contains("install start"),
             qPrintable(newLog));
}

// A file changed between the download and the start is not started.
void TestMainWindow::swappedInstallerNotStarted()
{
    MainWindow window;
    window.installerName = "Glimmerpane109.exe";
    window.installerExpectation.sha256 = QCryptographicHash::hash("MZ", QCryptographicHash::Sha256);
    QVERIFY(QDir().mkpath(updateFolderPath()));
    QVERIFY(writeFileBytes(updateFolderPath() + window.installerName, "#!/bin/sh\n"));
    QVERIFY(!window.startInstaller());
    QVERIFY(updateLogText().endsWith(" - install file Glimmerpane109.exe changed\n"));
}

// A second start during a daily check that finds nothing keeps the window for the user.
void TestMainWindow::raisedDuringDailyCheck()
{
    std::unique_ptr<MainWindow> window;
    server.setHandler([&](const HttpRequest &, HttpResponse &response) {
        window->anotherInstanceMessage("RAISE_WINDOW_NOOP");
        response.setBody(versionReply("108", "a", "n"));
    });
    window = makeWindow(108, true);
    QVERIFY(!window->isVisible());
    Form form(*window);
    QTRY_VERIFY_WITH_TIMEOUT(form.checkDone(), 10000);
    QVERIFY(window->isVisible() && !window->isMinimized());
    QVERIFY(form.info->toPlainText().endsWith("no updates"));
}

void TestMainWindow::startWithoutVersion()
{
    QString text;
    auto window = makeWindow(0);
    answerNextMessageBox(window.get(), QMessageBox::Ok, &text, false);
    QCOMPARE(execUntilQuit(10000), 0);
    QCOMPARE(text, "We do not receive app version, you need start this program from Glimmerpane");
}

void TestMainWindow::closeGuard_data()
{
    QTest::addColumn<QString>("how"); // the close button, the window manager or Alt+F4
    QTest::addColumn<bool>("downloading");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("quits");

    for (const QString how : {"button", "window manager", "Alt+F4"}) {
        QTest::newRow(qPrintable(how + ": no download quits at once"))
            << how << false << QMessageBox::NoButton << true;
        QTest::newRow(qPrintable(how + ": downloading, No keeps running"))
            << how << true << QMessageBox::No << false;
        QTest::newRow(qPrintable(how + ": downloading, Yes quits"))
            << how << true << QMessageBox::Yes << true;
    }
}

void TestMainWindow::closeGuard()
{
    QFETCH(QString, how);
    QFETCH(bool, downloading);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, quits);

    serveUpdate([](const HttpRequest &, HttpResponse &) {});
    auto window = makeWindow(108);
    Form form(*window);
    QTRY_VERIFY_WITH_TIMEOUT(form.checkDone(), 10000);
    window->downloading = downloading;
    QString text;
    if (downloading)
        answerNextMessageBox(window.get(), answer, &text, true);
    EventCounter quitRequests(qApp, QEvent::Quit); // what QCoreApplication::quit sends
    QTimer::singleShot(0, window.get(), [&] {
        if (how == "button")
            form.closeButton->click();
        else if (how == "window manager") // as the task bar asks for it
            window->close();
        else // where no window manager takes the keys first
            QTest::keyClick(window->windowHandle(), Qt::Key_F4, Qt::AltModifier);
    });
    QVERIFY(execUntilQuit(10000) != -99);
    QCOMPARE(quitRequests.count, quits ? 1 : 0);
    QCOMPARE(text, downloading ? "You are downloading update, are you sure exit?" : "");
}

void TestMainWindow::translations_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("names"); // the title, then the controls' accessible names

    // "Offical Site" keeps its old spelling as the source text; English readers see it right.
    QTest::newRow("English") << "English"
                             << QStringList{"Glimmerpane Update", "Release notes", "Check Update",
                                            "Official Site",      "Minimise",      "Close",
                                            "Download progress"};
    QTest::newRow("Chinese") << "中文"
                             << QStringList{"Glimmerpane 更新", "更新说明", "检查更新", "官网",
                                            "最小化",           "关闭",     "下载进度"};
}

// The window follows the language of the main application's settings, what it shows and what
// assistive technology reads alike; the title bar's icon is a picture, not a button.
void TestMainWindow::translations()
{
    QFETCH(QString, language);
    QFETCH(QStringList, names);
    writeMainAppSetting("server/language", language);
    MainWindow window;
    writeMainAppSetting("server/language", QVariant());
    QStringList shown{window.windowTitle()};
    for (const char *name :
         {"updateInfo", "CUP_UpdateBtn", "openOfficalSite", "miniBtn", "closeBtn", "progressBar"})
        shown << accessibleName(window.findChild<QWidget *>(name));
    QCOMPARE(shown, names);
    auto *icon = QAccessible::queryAccessibleInterface(window.findChild<QWidget *>("updateIcon"));
    QCOMPARE(icon->role(), QAccessible::Graphic);
}

// Tab goes round the controls in reading order, past the title bar's icon; Return takes the
// offered update from the text view; Escape minimises and the download goes on.
void TestMainWindow::keyboard()
{
    serveUpdate([](const HttpRequest &, HttpResponse &response) {
        response.setGeneratedBody(1024 * 1024);
        response.throttle(64 * 1024, 100);
    });
    auto window = makeWindow(108);
    Form form(*window);
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTRY_VERIFY_WITH_TIMEOUT(form.checkDone(), 10000);
    QCOMPARE(form.error->text(), QString());
    QCOMPARE(form.button->text(), "Download Update");
    form.info->setFocus(Qt::OtherFocusReason);
    QStringList chain;
    for (int step = 0; step < 6; ++step) {
        chain << QApplication::focusWidget()->objectName();
        QTest::keyClick(window->windowHandle(), Qt::Key_Tab);
    }
    QCOMPARE(chain, QStringList({"updateInfo", "CUP_UpdateBtn", "openOfficalSite", "miniBtn",
                                 "closeBtn", "updateInfo"}));
    QVERIFY(form.button->isDefault());

    QTest::keyClick(window->windowHandle(), Qt::Key_Return);
    QCOMPARE(form.button->text(), "Cancel");
    QVERIFY(window->downloading);
    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    QVERIFY(window->isMinimized());
    QVERIFY(window->downloading);
    QTRY_VERIFY(form.progress->value() > 0);
}

void TestMainWindow::focusFrame_data()
{
    QTest::addColumn<bool>("dark");
    QTest::newRow("light") << false;
    QTest::newRow("dark") << true;
}

// Every control that takes the focus shows a frame, standing 3:1 against the panel.
void TestMainWindow::focusFrame()
{
    QFETCH(bool, dark);
    writeMainAppSetting("server/applicationTheme", dark ? MyTheme::Dark : MyTheme::Light);
    MainWindow window;
    writeMainAppSetting("server/applicationTheme", QVariant());
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    const QColor frame = focusFrameColour(QGuiApplication::palette(), panelColour(dark));
    QVERIFY(contrastRatio(frame, panelColour(dark)) >= 3.0);
    for (const char *name :
         {"updateInfo", "CUP_UpdateBtn", "openOfficalSite", "miniBtn", "closeBtn"}) {
        auto *control = window.findChild<QWidget *>(name);
        const QRect area(control->mapTo(&window, QPoint()), control->size());
        window.setFocus();
        const QImage before = window.grab(area).toImage();
        control->setFocus(Qt::TabFocusReason);
        QVERIFY(control->hasFocus());
        const QImage after = window.grab(area).toImage();
        QVERIFY2(before != after, name);
        const QColor edge = after.pixelColor(0, after.height() / 2);
        QVERIFY2(contrastRatio(edge, panelColour(dark)) >= 3.0, qPrintable(edge.name() + name));
    }
}

UPDATER_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
