#include "download/downloadmanager.h"
#include "tests/support/testsandbox.h"
#include "tests/window/windowfixture.h"
#include "window/versionservice.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace WindowFixture;

// The update button against a real local HTTPS service: every reply the service can give,
// the states of one update, and the daily check.
class TestVersionQuery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void replies_data();
    void replies();
    void stateTable();
    void failedDownloadReturnsToIdle();
    void dailyCheck_data();
    void dailyCheck();
};

void TestVersionQuery::initTestCase()
{
    setUp();
    VersionServiceLimits::setTotalTimeoutMsForTesting(1500);
}

void TestVersionQuery::replies_data()
{
    QTest::addColumn<QByteArray>("body"); // "stall", "endless", "unreachable": misbehaving services
    QTest::addColumn<qint64>("appVersion");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QString>("errInfo");
    QTest::addColumn<QStringList>("infoLines"); // the text view afterwards
    QTest::addColumn<bool>("hasUpdate");

    const QStringList none;
    const QString noUpdates = QStringLiteral("There are currently no updates");
    auto versions = [](int installed, int latest) {
        return QStringList{QStringLiteral("Your app version is: %1").arg(installed),
                           QStringLiteral("Latest app version is: %1").arg(latest)};
    };
    const QString parseError = QStringLiteral("can not parse response");
    QTest::newRow("invalid JSON") << QByteArray("{\"code\": 200,") << qint64(108)
                                  << "JSON format err" << parseError << none << false;
    QTest::newRow("empty body") << QByteArray() << qint64(108) << "JSON format err" << parseError
                                << none << false;
    QTest::newRow("unreachable service") << QByteArray("unreachable") << qint64(108)
                                         << "JSON format err" << parseError << none << false;
    QTest::newRow("stalled service")
        << QByteArray("stall") << qint64(108) << "JSON format err" << parseError << none << false;
    QTest::newRow("endless body") << QByteArray("endless") << qint64(108) << "JSON format err"
                                  << parseError << none << false;
    QTest::newRow("top-level array") << QByteArray("[200]") << qint64(108) << ""
                                     << "code is: -1" << none << false;
    QTest::newRow("code as string")
        << QByteArray(R"({"code":"200","data":{}})") << qint64(108) << ""
        << "code is: -1" << none << false;
    QTest::newRow("code 404") << QByteArray(R"({"code":404})") << qint64(108) << ""
                              << "code is: 404" << none << false;
    QTest::newRow("data as array") << QByteArray(R"({"code":200,"data":[1]})") << qint64(108) << ""
                                   << "not contains data" << none << false;
    QTest::newRow("data without updateLog")
        << QByteArray(R"({"code":200,"data":{"appVersion":"109","updateAddress":"x"}})")
        << qint64(108) << ""
        << "not contains update info" << none << false;
    QTest::newRow("code 200.7 counts as 200")
        << QByteArray(
               R"({"code":200.7,"data":{"appVersion":"109","updateAddress":"a","updateLog":"n"}})")
        << qint64(108) << ""
        << "" << versions(108, 109) + QStringList{"", "", "n"} << true;
    QTest::newRow("newer version, notes of two lines")
        << versionReply("109", "a", "Fixes.\nMore fixes.") << qint64(108) << ""
        << "" << versions(108, 109) + QStringList{"", "", "Fixes.", "More fixes."} << true;
    QTest::newRow("same version") << versionReply("109", "a", "n") << qint64(109) << ""
                                  << "" << versions(109, 109) + QStringList{noUpdates} << false;
    QTest::newRow("appVersion with dots is 0")
        << versionReply("1.0.9", "a", "n") << qint64(108) << ""
        << "" << versions(108, 0) + QStringList{noUpdates} << false;
    QTest::newRow("1.0.10 against 110 offers nothing")
        << versionReply("110", "a", "n") << qint64(1010) << ""
        << "" << versions(1010, 110) + QStringList{noUpdates} << false;
}

void TestVersionQuery::replies()
{
    QFETCH(QByteArray, body);
    QFETCH(qint64, appVersion);
    QFETCH(QString, logLine);
    QFETCH(QString, errInfo);
    QFETCH(QStringList, infoLines);
    QFETCH(bool, hasUpdate);

    QStringList queries;
    server().setHandler([&](const HttpRequest &request, HttpResponse &response) {
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
    const QByteArray service = qgetenv("GLIMMERPANE_VERSION_SERVICE");
    QTcpServer refuser; // a port that was free a moment ago and now refuses connections
    if (body == "unreachable") {
        QVERIFY(refuser.listen(QHostAddress::LocalHost));
        qputenv("GLIMMERPANE_VERSION_SERVICE",
                QByteArray("https://127.0.0.1:") + QByteArray::number(refuser.serverPort()));
        refuser.close();
    }
    const int logSize = logText().size();

    auto window = makeWindow(appVersion);
    QTRY_VERIFY_WITH_TIMEOUT(checkDone(*window), 10000);
    qputenv("GLIMMERPANE_VERSION_SERVICE", service);
    if (body != "unreachable")
        QCOMPARE(queries, QStringList{"/api/front/index/get/version?appPlatform=Windows"});
    QCOMPARE(window->ui->errInfo->text(), errInfo);
    QCOMPARE(window->ui->updateInfo->toPlainText(), infoLines.join(QLatin1Char('\n')));
    QCOMPARE(window->ui->CUP_UpdateBtn->text(), hasUpdate ? "Download Update" : "Check Update");
    QVERIFY(window->ui->CUP_UpdateBtn->isEnabled());
    QCOMPARE(window->hasUpdate, hasUpdate);
    QVERIFY(!window->downloading);
    QCOMPARE(window->installerName, hasUpdate ? "Glimmerpane109.exe" : "");
    const QString newLog = logText().mid(logSize);
    QCOMPARE(newLog.section(QStringLiteral(" - "), 1), logLine.isEmpty() ? "" : logLine + "\n");
}

void TestVersionQuery::stateTable()
{
    server().setHandler([](const HttpRequest &request, HttpResponse &response) {
        if (request.path != QLatin1String("/installer")) {
            response.setBody(versionReply("109", installerAddress(), "notes"));
            return;
        }
        response.setGeneratedBody(2 * 1024 * 1024);
        response.throttle(256 * 1024, 100); // slow enough to cancel half-way
    });
    auto window = makeWindow(108);
    QPushButton *button = window->ui->CUP_UpdateBtn;
    auto click = [&](const char *expectedText) {
        window->ui->errInfo->setText(QStringLiteral("stale"));
        button->click();
        QCOMPARE(window->ui->errInfo->text(), QString());
        QCOMPARE(button->text(), QString::fromLatin1(expectedText));
        QVERIFY(button->isEnabled());
    };
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Download Update"), 10000);

    click("Cancel");
    QVERIFY(window->downloading && !window->hasUpdate);
    QTRY_VERIFY(window->ui->progressBar->value() > 0);
    click("Check Update"); // cancels
    QCOMPARE(window->ui->progressBar->value(), 0);
    QVERIFY(!window->downloading && !window->hasUpdate);
    click("Download Update"); // a new check, appended below the first
    QCOMPARE(window->ui->updateInfo->toPlainText().count(QStringLiteral("version is: 109")), 2);

    // The second download reaches the bar and the hand-off once per signal.
    QSignalSpy progress(window->downloadManager, &DownLoadManager::signalDownloadProcess);
    int barChanges = 0;
    connect(window->ui->progressBar, &QProgressBar::valueChanged, [&] { ++barChanges; });
    click("Cancel");
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Installing"), 30000);
    QVERIFY(barChanges <= progress.size() && barChanges > 1);
    QCOMPARE(window->ui->progressBar->value(), 100);
    QVERIFY(!button->isEnabled() && !window->downloading && !window->hasUpdate);
}

void TestVersionQuery::failedDownloadReturnsToIdle()
{
    server().setHandler([](const HttpRequest &request, HttpResponse &response) {
        if (request.path == QLatin1String("/installer"))
            response.setStatus(500);
        else
            response.setBody(versionReply("109", installerAddress(), "notes"));
    });
    auto window = makeWindow(108);
    QPushButton *button = window->ui->CUP_UpdateBtn;
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Download Update"), 10000);
    button->click();
    QTRY_COMPARE_WITH_TIMEOUT(window->ui->errInfo->text(), QStringLiteral("Download failed"),
                              10000);
    QCOMPARE(button->text(), QStringLiteral("Check Update"));
    QVERIFY(button->isEnabled() && !window->downloading && !window->hasUpdate);
    QCOMPARE(window->ui->progressBar->value(), 0);
    QVERIFY(logText().endsWith(QStringLiteral(" - download failed\n")));
}

void TestVersionQuery::dailyCheck_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("raiseDuringCheck"); // a second start's message
    QTest::addColumn<bool>("staysOpen");

    QTest::newRow("no update quits") << versionReply("108", "a", "n") << false << false;
    QTest::newRow("failure quits") << QByteArray("not json") << false << false;
    QTest::newRow("newer version shows the notes")
        << versionReply("109", "a", "notes") << false << true;
    QTest::newRow("raised during the check stays") << versionReply("108", "a", "n") << true << true;
}

void TestVersionQuery::dailyCheck()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, raiseDuringCheck);
    QFETCH(bool, staysOpen);

    std::unique_ptr<MainWindow> window;
    server().setHandler([&](const HttpRequest &, HttpResponse &response) {
        if (raiseDuringCheck)
            window->anotherInstanceMessage(QStringLiteral("raise_window_noop"));
        response.setBody(body);
    });
    window = makeWindow(108, true);
    QVERIFY(!window->isVisible());
    if (!staysOpen) {
        QCOMPARE(execUntilQuit(10000), 0);
        QVERIFY(!window->isVisible());
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(checkDone(*window), 10000);
    QVERIFY(window->isVisible() && !window->isMinimized());
    QVERIFY(!(window->windowFlags() & Qt::WindowStaysOnTopHint));
    QVERIFY(
        window->ui->updateInfo->toPlainText().endsWith(raiseDuringCheck ? "no updates" : "notes"));
}

UPDATER_TEST_MAIN(TestVersionQuery)
#include "tst_versionquery.moc"
