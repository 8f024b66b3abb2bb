#include "app/productroot.h"
#include "tests/support/testsandbox.h"
#include "tests/window/windowfixture.h"
#include "ui_mainwindow.h"
#include "window/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

using namespace WindowFixture;

class TestInstallerHandOff : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void wholeRoad();
    void missingInstaller();
    void startWithoutVersion_data();
    void startWithoutVersion();
    void closeGuard_data();
    void closeGuard();
};

void TestInstallerHandOff::initTestCase()
{
    setUp();
}

void TestInstallerHandOff::wholeRoad()
{
    QFile::remove(installerRecordPath());
    serveVersion(versionReply(QStringLiteral("109"),
                              server().url(QStringLiteral("/installer")).toString(),
                              QStringLiteral("notes")));
    auto window = makeWindow(108);
    QTRY_COMPARE_WITH_TIMEOUT(updateButton(*window)->text(), QStringLiteral("Download Update"),
                              10000);
    QTimer::singleShot(0, updateButton(*window), &QPushButton::click);
    QCOMPARE(execUntilQuit(30000), 0);

    const QString installer = updateFolderPath() + QStringLiteral("Glimmerpane109.exe");
    QVERIFY(QFileInfo(installer).isFile());
    QVERIFY(!QFileInfo::exists(installer + QStringLiteral("_tmp")));
    QCOMPARE(updateButton(*window)->text(), QStringLiteral("Installing"));
    QVERIFY(!updateButton(*window)->isEnabled());
    QVERIFY(!window->downloading && !window->hasUpdate);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(installerRecordPath()).size() > 0, 10000);
    const QString log = logText();
    QVERIFY(log.contains(QStringLiteral(" - prepare to download update\n")));
    QVERIFY(log.endsWith(QStringLiteral(" - install start success\n")));
}

void TestInstallerHandOff::missingInstaller()
{
    MainWindow window;
    window.installerName = QStringLiteral("Glimmerpane999.exe");
    QVERIFY(!window.startInstaller());
    QVERIFY(logText().endsWith(QStringLiteral(" - install file Glimmerpane999.exe not exist\n")));
}

void TestInstallerHandOff::startWithoutVersion_data()
{
    QTest::addColumn<bool>("dailyCheck");
    QTest::newRow("normal start: box, then quit") << false;
    QTest::newRow("daily check: quit first, no box waits") << true;
}

void TestInstallerHandOff::startWithoutVersion()
{
    QFETCH(bool, dailyCheck);
    QString text;
    QString title;
    if (!dailyCheck)
        answerNextMessageBox(QMessageBox::Ok, &text, &title);
    auto window = makeWindow(0, dailyCheck);
    QCOMPARE(execUntilQuit(10000), 0);
    if (!dailyCheck) {
        QCOMPARE(title, QStringLiteral("Glimmerpane Update"));
        QCOMPARE(text, QStringLiteral("We do not receive app version, you need start this "
                                      "program from Glimmerpane"));
    }
}

void TestInstallerHandOff::closeGuard_data()
{
    QTest::addColumn<bool>("downloading");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("quits");

    QTest::newRow("no download quits") << false << QMessageBox::NoButton << true;
    QTest::newRow("downloading, No keeps running") << true << QMessageBox::No << false;
    QTest::newRow("downloading, Yes quits") << true << QMessageBox::Yes << true;
}

void TestInstallerHandOff::closeGuard()
{
    QFETCH(bool, downloading);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, quits);

    serveVersion(versionReply(QStringLiteral("108"), QStringLiteral("a"), QStringLiteral("n")));
    auto window = makeWindow(108);
    QTRY_VERIFY_WITH_TIMEOUT(checkDone(*window), 10000);
    window->downloading = downloading;
    QString text;
    if (answer != QMessageBox::NoButton)
        answerNextMessageBox(answer, &text);
    QTimer::singleShot(0, window->ui->closeBtn, &QPushButton::click);
    QCOMPARE(execUntilQuit(quits ? 10000 : 1500), quits ? 0 : -99);
    if (answer != QMessageBox::NoButton)
        QCOMPARE(text, QStringLiteral("You are downloading update, are you sure exit?"));
    QCOMPARE(window->downloading, downloading);
}

UPDATER_TEST_MAIN(TestInstallerHandOff)
#include "tst_installerhandoff.moc"
