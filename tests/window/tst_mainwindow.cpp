#include "appearance/framelesswindow.h"
#include "appearance/mytheme.h"
#include "appearance/settings.h"
#include "appearance/themepalettes.h"
#include "fixtures/httpsserver/localhttpsserver.h"
#include "tests/support/testsupport.h"
#include "window/mainwindow.h"

#include <QAccessible>
#include <QApplication>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
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

// Long enough to scroll, with markup that must show as text: nothing fetched, nothing laid out.
const QString notes = R"(<img src="/dev/zero"><b style="color:red">Your app version is: 999)" +
                      QString("\nFixed.").repeated(60);

// The window's widgets, found by the object names the style sheets address them by.
struct Form
{
    explicit Form(const MainWindow &window)
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
// installer's host: what it shows of an update, how keyboards and screen readers work it, and
// the ends of a run.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void raisedDuringDailyCheck();
    void startWithoutVersion();
    void closeGuard_data();
    void closeGuard();
    void keyboardAndStates();
    void declinedPrompt_data();
    void declinedPrompt();
    void looks_data();
    void looks();
    void rethemedOnPaletteChange();
    void shadowAsQtDrawsIt();

private:
    // A window as start-up makes it; its start-up check queries the service 200 ms later.
    static std::unique_ptr<MainWindow> makeWindow(qint64 appVersion, bool dailyCheck = false);

    LocalHttpsServer server{LocalHttpsServer::Scheme::Https};
};

void TestMainWindow::initTestCase()
{
    QVERIFY2(serveAsVersionService(server), qPrintable(server.errorString()));
    // Owned by the application, so that windows can come and go.
    Settings::init(qApp);
    MyTheme::init(qApp);
}

std::unique_ptr<MainWindow> TestMainWindow::makeWindow(qint64 appVersion, bool dailyCheck)
{
    auto window = std::make_unique<MainWindow>(appVersion, dailyCheck);
    if (!dailyCheck)
        window->show();
    return window;
}

// A second start during a daily check that finds nothing keeps the window for the user.
void TestMainWindow::raisedDuringDailyCheck()
{
    std::unique_ptr<MainWindow> window;
    server.setHandler([&](const HttpRequest &, HttpResponse &response) {
        window->anotherInstanceMessage("RAISE_WINDOW_NOOP");
        response.setBody(versionServiceReply("108", "a", "n"));
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

    offerUpdate(server, [](const HttpRequest &, HttpResponse &response) {
        response.setGeneratedBody(1024 * 1024);
        response.throttle(16 * 1024, 100);
    });
    auto window = makeWindow(108);
    Form form(*window);
    QTRY_COMPARE_WITH_TIMEOUT(form.button->text(), "Download Update", 10000);
    if (downloading)
        form.button->click();
    QCOMPARE(window->controller()->state() == UpdateController::State::Downloading, downloading);
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

// The states as a keyboard user meets them. Tab goes round the controls in reading order, past
// the title bar's icon; Return takes the offered update from the text view; Escape minimises and
// the download goes on; a click cancels; a failed download says so.
void TestMainWindow::keyboardAndStates()
{
    int installerRequests = 0;
    offerUpdate(
        server,
        [&](const HttpRequest &, HttpResponse &response) {
            response.setStatus(++installerRequests == 1 ? 200 : 404);
            response.setGeneratedBody(1024 * 1024);
            response.throttle(64 * 1024, 100);
        },
        notes);
    auto window = makeWindow(108);
    Form form(*window);
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTRY_VERIFY_WITH_TIMEOUT(form.checkDone(), 10000);
    QCOMPARE(form.error->text(), QString());
    QCOMPARE(form.button->text(), "Download Update");
    // Notes are shown as plain text, and the view follows them to their end.
    QVERIFY(form.info->toPlainText().endsWith(notes));
    const QScrollBar *bar = form.info->verticalScrollBar();
    QCOMPARE(bar->value(), bar->maximum());
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
    QCOMPARE(accessibleName(form.button), "Cancel");
    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    QVERIFY(window->isMinimized());
    QTRY_VERIFY(form.progress->value() > 0);
    QAccessibleInterface *progress = QAccessible::queryAccessibleInterface(form.progress);
    QCOMPARE(progress->valueInterface()->currentValue().toInt(), form.progress->value());
    window->progressBarUpdate(10, -1); // no length announced: a busy bar
    QCOMPARE(form.progress->maximum(), 0);

    form.button->click(); // cancels
    QCOMPARE(accessibleName(form.button), "Check Update");
    QCOMPARE(form.progress->value(), 0);
    QCOMPARE(form.progress->maximum(), 100);
    form.button->click();
    QTRY_COMPARE_WITH_TIMEOUT(form.button->text(), "Download Update", 10000);
    form.button->click(); // the installer's host answers 404 now
    QTRY_COMPARE_WITH_TIMEOUT(form.error->text(), "Download failed", 10000);
    QCOMPARE(form.button->text(), "Check Update");
    QVERIFY(form.button->isEnabled());
}

void TestMainWindow::declinedPrompt_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("texts"); // the button before and after, the note

    QTest::newRow("English") << "English"
                             << QStringList{"Download Update", "Install",
                                            "The installer was not allowed to start. Choose "
                                            "Install to try again."};
    QTest::newRow("Chinese") << "中文"
                             << QStringList{"下载更新", "安装",
                                            "安装程序未获准启动。请选择“安装”重试。"};
}

// A declined elevation prompt (the staging switch) keeps the window, offering the installer
// already there; the next press starts it without fetching it again.
void TestMainWindow::declinedPrompt()
{
    QFETCH(QString, language);
    QFETCH(QStringList, texts);
    int installerRequests = 0;
    offerUpdate(server, [&](const HttpRequest &, HttpResponse &response) {
        ++installerRequests;
        response.setBody("#!/bin/sh\n");
    });
    writeMainAppSetting("server/language", language);
    qputenv("GLIMMERPANE_SIMULATE_START_ERROR", "1223");
    auto window = makeWindow(108);
    writeMainAppSetting("server/language", QVariant());
    Form form(*window);
    QTRY_COMPARE_WITH_TIMEOUT(form.button->text(), texts[0], 10000);
    form.button->click();
    QTRY_COMPARE_WITH_TIMEOUT(form.button->text(), texts[1], 10000);
    qunsetenv("GLIMMERPANE_SIMULATE_START_ERROR");
    QVERIFY(form.button->isEnabled() && form.info->toPlainText().endsWith("\n" + texts[2]));
    QTimer::singleShot(0, form.button, &QPushButton::click);
    QCOMPARE(execUntilQuit(10000), 0);
    QVERIFY(updateLogText().endsWith(" - install start cancelled\n" +
                                     updateLogText().section('\n', -2, -2).left(22) +
                                     "install start success\n"));
    QCOMPARE(installerRequests, 1);
}

void TestMainWindow::looks_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("dark");
    QTest::addColumn<QStringList>("names"); // the title, then the controls' accessible names

    // "Offical Site" keeps its old spelling as the source text; English readers see it right.
    QTest::newRow("English, light")
        << "English" << false
        << QStringList{"Glimmerpane Update", "Release notes", "Check Update",     "Official Site",
                       "Minimise",           "Close",         "Download progress"};
    QTest::newRow("Chinese, dark")
        << "中文" << true << QStringList{"Glimmerpane 更新", "更新说明", "检查更新", "官网",
                                         "最小化",           "关闭",     "下载进度"};
}

// The window follows the language and the theme of the main application's settings: what it
// shows and what assistive technology reads alike (the title bar's icon is a picture, not a
// button), and a focus frame on every control that takes the focus, 3:1 against the panel.
void TestMainWindow::looks()
{
    QFETCH(QString, language);
    QFETCH(bool, dark);
    QFETCH(QStringList, names);
    writeMainAppSetting("server/language", language);
    writeMainAppSetting("server/applicationTheme", dark ? MyTheme::Dark : MyTheme::Light);
    MainWindow window(0);
    writeMainAppSetting("server/language", QVariant());
    writeMainAppSetting("server/applicationTheme", QVariant());
    QStringList shown{window.windowTitle()};
    for (const char *name :
         {"updateInfo", "CUP_UpdateBtn", "openOfficalSite", "miniBtn", "closeBtn", "progressBar"})
        shown << accessibleName(window.findChild<QWidget *>(name));
    QCOMPARE(shown, names);
    auto *icon = QAccessible::queryAccessibleInterface(window.findChild<QWidget *>("updateIcon"));
    QCOMPARE(icon->role(), QAccessible::Graphic);

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

// Someone else's palette change reaches the window shell's filter, which applies the stored
// theme again; the theme's own palette change must end there rather than start another round.
void TestMainWindow::rethemedOnPaletteChange()
{
    QPalette dark = QGuiApplication::palette();
    buildDarkPalette(dark);
    FrameLessWindow shell;
    writeMainAppSetting("server/applicationTheme", MyTheme::Dark);
    EventCounter changes(qApp, QEvent::ApplicationPaletteChange);
    QApplication::setPalette(QPalette(Qt::darkCyan));
    writeMainAppSetting("server/applicationTheme", QVariant());
    QCOMPARE(changes.count, 2);
    QCOMPARE(QGuiApplication::palette(), dark);
}

// The panel's shadow, blurred on the first paint and drawn from its cache on the next, is what
// Qt's own drop shadow draws.
void TestMainWindow::shadowAsQtDrawsIt()
{
    QWidget window;
    auto *panel = new FrameLessWindow;
    panel->setObjectName("centralWidget");
    (new QHBoxLayout(&window))->addWidget(panel);
    window.layout()->setContentsMargins(11, 11, 11, 11);
    window.resize(500, 310);
    const auto drawn = [&window] {
        QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        window.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    };
    drawn();
    const QImage cached = drawn();
    auto *stock = new QGraphicsDropShadowEffect;
    stock->setOffset(0, 0);
    stock->setBlurRadius(20.0);
    stock->setColor(QColor(131, 139, 139, 200));
    panel->setGraphicsEffect(stock);
    QCOMPARE(cached, drawn());
    QVERIFY(qAlpha(cached.pixel(2, 155)) > 0);
}

UPDATER_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
