#include "app/productroot.h"
#include "tests/support/testsandbox.h"
#include "tests/window/windowfixture.h"
#include "ui_mainwindow.h"
#include "window/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSystemTrayIcon>
#include <QTest>

using namespace WindowFixture;

// The window before any query: its form, its texts in both languages and its own slots.
// The app version is set to keep the start-up check from asking for one.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
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
};

void TestMainWindow::initTestCase()
{
    setUp();
    serveVersion(versionReply(QStringLiteral("108"), QStringLiteral("a"), QStringLiteral("n")));
}

void TestMainWindow::cleanup()
{
    writeLanguage(QString());
}

void TestMainWindow::layout()
{
    auto window = makeWindow(108);
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window->size(), QSize(500, 310));
    window->resize(800, 600);
    QCOMPARE(window->size(), QSize(500, 310));
    QVERIFY(window->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(window->testAttribute(Qt::WA_TranslucentBackground));

    const QStringList names{"widget",        "centralWidget", "updateInfo", "openOfficalSite",
                            "CUP_UpdateBtn", "progressBar",   "errInfo",    "updateIcon",
                            "label",         "miniBtn",       "closeBtn"};
    for (const QString &name : names)
        QVERIFY2(window->findChild<QWidget *>(name), qPrintable(name));
    QCOMPARE(window->centralWidget(), window->ui->widget);
    QCOMPARE(window->ui->centralWidget->metaObject()->className(), "FrameLessWindow");
    QCOMPARE(window->ui->updateIcon->size(), QSize(32, 32));
    QCOMPARE(window->ui->updateIcon->iconSize(), QSize(25, 25));

    QProgressBar *bar = window->ui->progressBar;
    bar->setValue(42);
    QCOMPARE(bar->text(), QString());
    QCOMPARE(bar->alignment(), Qt::AlignCenter);
    QCOMPARE(window->ui->updateInfo->toPlainText(), QString());
    QCOMPARE(window->ui->updateInfo->document()->defaultFont().family(), window->font().family());
    QVERIFY(window->ui->updateInfo->toHtml().contains(QStringLiteral("Microsoft YaHei UI")));
}

void TestMainWindow::languages_data()
{
    QTest::addColumn<QString>("setting"); // null: no setting stored
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("button");

    const QString english = QStringLiteral("Glimmerpane Update");
    QTest::newRow("no setting") << QString() << english << english << "Offical Site"
                                << "Check Update";
    QTest::newRow("english") << "english" << english << english << "Offical Site"
                             << "Check Update";
    QTest::newRow("ENGLISH") << "ENGLISH" << english << english << "Offical Site"
                             << "Check Update";
    QTest::newRow("中文") << "中文"
                          << "Glimmerpane 更新"
                          << "Glimmerpane 更新"
                          << "官网"
                          << "检查更新";
    QTest::newRow("other language: source texts")
        << "Deutsch"
        << "Glimmerpane Update" << english << "Offical Site"
        << "Check Update";
}

void TestMainWindow::languages()
{
    QFETCH(QString, setting);
    QFETCH(QString, title);
    QFETCH(QString, label);
    QFETCH(QString, site);
    QFETCH(QString, button);

    writeLanguage(setting);
    auto window = makeWindow(108);
    QCOMPARE(window->windowTitle(), title);
    QCOMPARE(window->ui->label->text(), label);
    QCOMPARE(window->ui->openOfficalSite->text(), site);
    QCOMPARE(updateButton(*window)->text(), button);
    QVERIFY(!logText().contains(QStringLiteral(" err\n")));
}

void TestMainWindow::progressBarUpdate_data()
{
    QTest::addColumn<int>("cur");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("value"); // the bar starts at 7

    QTest::newRow("half") << 512 << 1024 << 50;
    QTest::newRow("a third truncates") << 1 << 3 << 33;
    QTest::newRow("all") << 1024 << 1024 << 100;
    QTest::newRow("total 0 keeps value") << 10 << 0 << 7;
    QTest::newRow("unknown total keeps value") << 10 << -1 << 7;
    QTest::newRow("large counts in float") << 2000000000 << 2100000000 << 95;
    QTest::newRow("wrapped total far below received") << 2000000000 << 3 << 7;
    QTest::newRow("negative received") << -5 << 100 << 7;
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
    QVERIFY(!window->isVisible());
    window->anotherInstanceMessage(message);
    QCOMPARE(window->isVisible(), raises);
    QCOMPARE(window->dailyCheck, !raises);
    if (raises) {
        QVERIFY(!window->isMinimized());
        QVERIFY(!(window->windowFlags() & Qt::WindowStaysOnTopHint));
    }
    window->dailyCheck = false; // no quit from the start-up check of a hidden window
}

void TestMainWindow::minimiseWithoutTray()
{
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable()); // offscreen has none
    auto window = makeWindow(108);
    window->ui->miniBtn->click();
    QVERIFY(window->isVisible());
    QTRY_VERIFY(window->isMinimized());
}

void TestMainWindow::createUpdateFolder_data()
{
    QTest::addColumn<QString>("prepare");
    QTest::addColumn<bool>("result");

    QTest::newRow("nothing there") << "" << true;
    QTest::newRow("already there") << "update" << true;
    QTest::newRow("product name taken by a file") << "product-file" << false;
}

void TestMainWindow::createUpdateFolder()
{
    QFETCH(QString, prepare);
    QFETCH(bool, result);

    const QString product = productRoot() + QStringLiteral("Glimmerpane");
    const QString update = product + QStringLiteral("/update");
    QFile::remove(product);
    QDir(update).removeRecursively();
    QFile::remove(update);
    auto plainFile = [](const QString &path) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    };
    if (prepare == QLatin1String("update"))
        QVERIFY(QDir().mkpath(update));
    else if (prepare == QLatin1String("product-file"))
        QDir(product).removeRecursively(), plainFile(product);

    MainWindow window;
    window.appVersion = 108;
    QCOMPARE(window.createUpdateFolder(), result);
    QCOMPARE(QFileInfo(update).isDir(), result);
    QFile::remove(product);
    QFile::remove(update);
}

UPDATER_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
