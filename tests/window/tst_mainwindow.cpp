#include "app/productroot.h"
#include "tests/support/testsandbox.h"
#include "tests/window/windowfixture.h"

#include <QApplication>
#include <QDir>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

using namespace WindowFixture;

// The window as a window: its form and texts, its own slots, and how a run ends.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void layout();
    void languages_data();
    void languages();
    void progressBarUpdate_data();
    void progressBarUpdate();
    void raiseMessage_data();
    void raiseMessage();
    void minimiseWithoutTray();
    void createUpdateFolder_data();
    void createUpdateFolder();
    void wholeRoad();
    void missingInstaller();
    void startWithoutVersion_data();
    void startWithoutVersion();
    void closeGuard_data();
    void closeGuard();
};

void TestMainWindow::initTestCase()
{
    setUp();
    serveVersion(versionReply("108", "a", "n"));
}

void TestMainWindow::layout()
{
    auto window = makeWindow(108);
    QCOMPARE(window->size(), QSize(500, 310));
    window->resize(800, 600);
    QCOMPARE(window->size(), QSize(500, 310));
    QVERIFY(window->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(window->testAttribute(Qt::WA_TranslucentBackground));
    for (const char *name :
         {"widget", "centralWidget", "updateInfo", "openOfficalSite", "CUP_UpdateBtn",
          "progressBar", "errInfo", "updateIcon", "label", "miniBtn", "closeBtn"})
        QVERIFY2(window->findChild<QWidget *>(QLatin1String(name)), name);
    QCOMPARE(window->centralWidget(), window->ui->widget);
    QCOMPARE(window->ui->centralWidget->metaObject()->className(), "FrameLessWindow");
    QCOMPARE(window->ui->updateIcon->iconSize(), QSize(25, 25));
    window->ui->progressBar->setValue(42);
    QCOMPARE(window->ui->progressBar->text(), QString()); // never a percentage
    QVERIFY(window->ui->updateInfo->toHtml().contains(QStringLiteral("Microsoft YaHei UI")));
}

void TestMainWindow::languages_data()
{
    QTest::addColumn<QString>("setting");   // null: nothing stored
    QTest::addColumn<QStringList>("texts"); // title, label, site button, update button

    const QStringList english{"Glimmerpane Update", "Glimmerpane Update", "Offical Site",
                              "Check Update"};
    QTest::newRow("no setting") << QString() << english;
    QTest::newRow("english") << "english" << english;
    QTest::newRow("ENGLISH") << "ENGLISH" << english;
    QTest::newRow("中文") << "中文"
                          << QStringList{"Glimmerpane 更新", "Glimmerpane 更新", "官网",
                                         "检查更新"};
    QTest::newRow("other: source texts") << "Deutsch" << english;
}

void TestMainWindow::languages()
{
    QFETCH(QString, setting);
    QFETCH(QStringList, texts);

    writeLanguage(setting);
    MainWindow window;
    window.appVersion = 108;
    QCOMPARE((QStringList{window.windowTitle(), window.ui->label->text(),
                          window.ui->openOfficalSite->text(), window.ui->CUP_UpdateBtn->text()}),
             texts);
    QVERIFY(!logText().contains(QStringLiteral(" err\n")));
    writeLanguage(QString());
}

void TestMainWindow::progressBarUpdate_data()
{
    QTest::addColumn<int>("cur");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("value"); // the bar starts at 7

    QTest::newRow("half") << 512 << 1024 << 50;
    QTest::newRow("a third truncates") << 1 << 3 << 33;
    QTest::newRow("large counts in float") << 2000000000 << 2100000000 << 95;
    QTest::newRow("total 0 keeps value") << 10 << 0 << 7;
    QTest::newRow("unknown total keeps value") << 10 << -1 << 7;
    QTest::newRow("wrapped total far below received") << 2000000000 << 3 << 7;
}

void TestMainWindow::progressBarUpdate()
{
    QFETCH(int, cur);
    QFETCH(int, total);
    QFETCH(int, value);

    MainWindow window;
    window.appVersion = 108;
    window.ui->progressBar->setValue(7);
    window.progressBarUpdate(cur, total);
    QCOMPARE(window.ui->progressBar->value(), value);
}

void TestMainWindow::raiseMessage_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("raises");

    QTest::newRow("exact") << "raise_window_noop" << true;
    QTest::newRow("capitals") << "RAISE_WINDOW_NOOP" << true;
    QTest::newRow("other text") << "raise_window" << false;
    QTest::newRow("empty") << "" << false;
}

void TestMainWindow::raiseMessage()
{
    QFETCH(QString, message);
    QFETCH(bool, raises);

    auto window = makeWindow(108, true);
    window->anotherInstanceMessage(message);
    QCOMPARE(window->isVisible(), raises);
    QCOMPARE(window->dailyCheck, !raises);
    QVERIFY(!(window->windowFlags() & Qt::WindowStaysOnTopHint));
    window->dailyCheck = false;
}

void TestMainWindow::minimiseWithoutTray()
{
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable()); // offscreen has none
    auto window = makeWindow(108);
    window->ui->miniBtn->click();
    QTRY_VERIFY(window->isMinimized());
    QVERIFY(window->isVisible());
}

void TestMainWindow::createUpdateFolder_data()
{
    QTest::addColumn<QString>("existing"); // what stands at the update folder's place
    QTest::addColumn<bool>("result");

    QTest::newRow("nothing") << "" << true;
    QTest::newRow("the folder") << "folder" << true;
    QTest::newRow("a plain file") << "file" << true; // exists, so it is not made again
}

void TestMainWindow::createUpdateFolder()
{
    QFETCH(QString, existing);
    QFETCH(bool, result);

    // The product folder holds the open log, so only its update folder is replaced.
    const QString update = updateFolderPath();
    QDir(update).removeRecursively();
    QFile file(QDir::cleanPath(update));
    if (existing == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(update));
    else if (existing == QLatin1String("file"))
        QVERIFY(file.open(QIODevice::WriteOnly));

    MainWindow window;
    window.appVersion = 108;
    QCOMPARE(window.createUpdateFolder(), result);
    QCOMPARE(QFileInfo(update).isDir(), existing != QLatin1String("file"));
    file.remove();
}

void TestMainWindow::wholeRoad()
{
    serveVersion(versionReply("109", installerAddress(), "notes"));
    auto window = makeWindow(108);
    QTRY_COMPARE_WITH_TIMEOUT(window->ui->CUP_UpdateBtn->text(), QStringLiteral("Download Update"),
                              10000);
    QTimer::singleShot(0, window->ui->CUP_UpdateBtn, &QPushButton::click);
    QCOMPARE(execUntilQuit(30000), 0);

    const QString installer = updateFolderPath() + QStringLiteral("Glimmerpane109.exe");
    QVERIFY(QFileInfo(installer).isFile());
    QVERIFY(!QFileInfo::exists(installer + QStringLiteral("_tmp")));
    QCOMPARE(window->ui->CUP_UpdateBtn->text(), QStringLiteral("Installing"));
    QVERIFY(!window->ui->CUP_UpdateBtn->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(installerRecordPath()).size() > 0, 10000); // it ran
    QVERIFY(logText().contains(QStringLiteral(" - prepare to download update\n")));
    QVERIFY(logText().endsWith(QStringLiteral(" - install start success\n")));
    serveVersion(versionReply("108", "a", "n"));
}

void TestMainWindow::missingInstaller()
{
    MainWindow window;
    window.installerName = QStringLiteral("Glimmerpane999.exe");
    QVERIFY(!window.startInstaller());
    QVERIFY(logText().endsWith(QStringLiteral(" - install file Glimmerpane999.exe not exist\n")));
}

void TestMainWindow::startWithoutVersion_data()
{
    QTest::addColumn<bool>("dailyCheck");
    QTest::newRow("box, then quit") << false;
    QTest::newRow("daily check: quit first, no box waits") << true;
}

void TestMainWindow::startWithoutVersion()
{
    QFETCH(bool, dailyCheck);

    QString title, text;
    if (!dailyCheck)
        answerNextMessageBox(QMessageBox::Ok, &title, &text);
    auto window = makeWindow(0, dailyCheck);
    QCOMPARE(execUntilQuit(10000), 0);
    if (!dailyCheck) {
        QCOMPARE(title, QStringLiteral("Glimmerpane Update"));
        QCOMPARE(text, QStringLiteral("We do not receive app version, you need start this "
                                      "program from Glimmerpane"));
    }
}

void TestMainWindow::closeGuard_data()
{
    QTest::addColumn<bool>("downloading");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("quits");

    QTest::newRow("no download quits at once") << false << QMessageBox::NoButton << true;
    QTest::newRow("downloading, No keeps running") << true << QMessageBox::No << false;
    QTest::newRow("downloading, Yes quits") << true << QMessageBox::Yes << true;
}

void TestMainWindow::closeGuard()
{
    QFETCH(bool, downloading);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, quits);

    auto window = makeWindow(108);
    QTRY_VERIFY_WITH_TIMEOUT(checkDone(*window), 10000);
    window->downloading = downloading;
    QString title, text;
    if (downloading)
        answerNextMessageBox(answer, &title, &text);
    QTimer::singleShot(0, window->ui->closeBtn, &QPushButton::click);
    QCOMPARE(execUntilQuit(quits ? 10000 : 1500), quits ? 0 : -99);
    QCOMPARE(text, downloading ? "You are downloading update, are you sure exit?" : "");
}

UPDATER_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
