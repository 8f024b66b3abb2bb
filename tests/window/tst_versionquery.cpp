#include "download/downloadmanager.h"
#include "tests/support/testsandbox.h"
#include "tests/window/windowfixture.h"
#include "ui_mainwindow.h"
#include "window/mainwindow.h"
#include "window/versionservice.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace WindowFixture;

class TestVersionQuery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void replies_data();
    void replies();
    void unreachableService();
    void stateTable();
    void failedDownloadReturnsToIdle();
    void dailyCheck_data();
    void dailyCheck();
    void raiseDuringDailyCheckKeepsWindow();

private:
    QString installerAddress() const;
};

void TestVersionQuery::initTestCase()
{
    setUp();
    VersionServiceLimits::setTotalTimeoutMsForTesting(1500);
    DownLoadManager::setTransferTimeoutForTesting(1500);
}

void TestVersionQuery::init()
{
    serveVersion(versionReply(QStringLiteral("109"), installerAddress(), QStringLiteral("notes")));
}

QString TestVersionQuery::installerAddress() const
{
    return server().url(QStringLiteral("/installer")).toString();
}

void TestVersionQuery::replies_data()
{
    QTest::addColumn<QByteArray>("body"); // "stall" and "endless" name misbehaving services
    QTest::addColumn<qint64>("appVersion");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QString>("errInfo");
    QTest::addColumn<QString>("buttonText");
    QTest::addColumn<bool>("hasUpdate");
    QTest::addColumn<QStringList>("infoLines"); // the text view's lines afterwards

    const QString address = installerAddress();
    const QStringList none;
    QTest::newRow("invalid JSON") << QByteArray("{\"code\": 200,") << qint64(108)
                                  << "JSON format err"
                                  << "can not parse response"
                                  << "Check Update" << false << none;
    QTest::newRow("empty body") << QByteArray() << qint64(108) << "JSON format err"
                                << "can not parse response"
                                << "Check Update" << false << none;
    QTest::newRow("top-level array") << QByteArray("[200]") << qint64(108) << ""
                                     << "code is: -1"
                                     << "Check Update" << false << none;
    QTest::newRow("code as string")
        << QByteArray(R"({"code":"200","data":{}})") << qint64(108) << ""
        << "code is: -1"
        << "Check Update" << false << none;
    QTest::newRow("code 404") << QByteArray(R"({"code":404})") << qint64(108) << ""
                              << "code is: 404"
                              << "Check Update" << false << none;
    QTest::newRow("data as array") << QByteArray(R"({"code":200,"data":[1]})") << qint64(108) << ""
                                   << "not contains data"
                                   << "Check Update" << false << none;
    QTest::newRow("data without updateLog")
        << QByteArray(R"({"code":200,"data":{"appVersion":"109","updateAddress":"x"}})")
        << qint64(108) << ""
        << "not contains update info"
        << "Check Update" << false << none;
    QTest::newRow("code 200.7 counts as 200")
        << QByteArray(
               R"({"code":200.7,"data":{"appVersion":"109","updateAddress":"a","updateLog":"n"}})")
        << qint64(108) << ""
        << ""
        << "Download Update" << true
        << QStringList{"Your app version is: 108", "Latest app version is: 109", "", "", "n"};
    QTest::newRow("appVersion with dots is 0")
        << versionReply(QStringLiteral("1.0.9"), address, QStringLiteral("n")) << qint64(108) << ""
        << ""
        << "Check Update" << false
        << QStringList{"Your app version is: 108", "Latest app version is: 0",
                       "There are currently no updates"};
    QTest::newRow("newer version")
        << versionReply(QStringLiteral("109"), address, QStringLiteral("Fixes.\nMore fixes."))
        << qint64(108) << ""
        << ""
        << "Download Update" << true << QStringList{"Your app version is: 108",
                                                    "Latest app version is: 109",
                                                    "",
                                                    "",
                                                    "Fixes.",
                                                    "More fixes."};
    QTest::newRow("same version") << versionReply(QStringLiteral("109"), address,
                                                  QStringLiteral("n"))
                                  << qint64(109) << ""
                                  << ""
                                  << "Check Update" << false
                                  << QStringList{"Your app version is: 109",
                                                 "Latest app version is: 109",
                                                 "There are currently no updates"};
    QTest::newRow("1.0.10 against 110 offers nothing")
        << versionReply(QStringLiteral("110"), address, QStringLiteral("n")) << qint64(1010) << ""
        << ""
        << "Check Update" << false
        << QStringList{"Your app version is: 1010", "Latest app version is: 110",
                       "There are currently no updates"};
    QTest::newRow("stalled service") << QByteArray("stall") << qint64(108) << "JSON format err"
                                     << "can not parse response"
                                     << "Check Update" << false << none;
    QTest::newRow("endless body") << QByteArray("endless") << qint64(108) << "JSON format err"
                                  << "can not parse response"
                                  << "Check Update" << false << none;
}

void TestVersionQuery::replies()
{
    QFETCH(QByteArray, body);
    QFETCH(qint64, appVersion);
    QFETCH(QString, logLine);
    QFETCH(QString, errInfo);
    QFETCH(QString, buttonText);
    QFETCH(bool, hasUpdate);
    QFETCH(QStringList, infoLines);

    server().setHandler([body](const HttpRequest &request, HttpResponse &response) {
        QCOMPARE(request.path, QStringLiteral("/api/front/index/get/version"));
        QCOMPARE(request.query.toString(), QStringLiteral("appPlatform=Windows"));
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
    const int logSizeBefore = logText().size();
    const int requestsBefore = server().requestCount();

    auto window = makeWindow(appVersion);
    QTRY_VERIFY_WITH_TIMEOUT(checkDone(*window), 10000);
    QCOMPARE(server().requestCount(), requestsBefore + 1);
    QCOMPARE(errorText(*window), errInfo);
    QCOMPARE(updateButton(*window)->text(), buttonText);
    QVERIFY(updateButton(*window)->isEnabled());
    QCOMPARE(window->hasUpdate, hasUpdate);
    QVERIFY(!window->downloading);
    if (infoLines.isEmpty())
        QCOMPARE(infoText(*window), QString());
    else
        QCOMPARE(infoText(*window).split(QLatin1Char('\n')), infoLines);
    const QString newLog = logText().mid(logSizeBefore);
    if (logLine.isEmpty())
        QCOMPARE(newLog, QString());
    else
        QVERIFY2(newLog.endsWith(QStringLiteral(" - ") + logLine + QLatin1Char('\n')),
                 qPrintable(newLog));
    if (hasUpdate)
        QCOMPARE(window->installerName, QStringLiteral("Glimmerpane109.exe"));
}

void TestVersionQuery::unreachableService()
{
    QTcpServer probe; // a port that was free a moment ago and now refuses connections
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    const QByteArray saved = qgetenv("GLIMMERPANE_VERSION_SERVICE");
    qputenv("GLIMMERPANE_VERSION_SERVICE",
            QStringLiteral("https://127.0.0.1:%1").arg(port).toUtf8());
    auto window = makeWindow(108);
    QTRY_VERIFY_WITH_TIMEOUT(checkDone(*window), 10000);
    qputenv("GLIMMERPANE_VERSION_SERVICE", saved);
    QCOMPARE(errorText(*window), QStringLiteral("can not parse response"));
    QVERIFY(logText().endsWith(QStringLiteral(" - JSON format err\n")));
    QVERIFY(updateButton(*window)->isEnabled());
}

void TestVersionQuery::stateTable()
{
    server().setHandler([](const HttpRequest &request, HttpResponse &response) {
        if (request.path == QLatin1String("/installer")) {
            response.setGeneratedBody(4 * 1024 * 1024);
            response.throttle(64 * 1024, 50); // long enough to cancel mid-way
            return;
        }
        response.setBody(versionReply(QStringLiteral("109"),
                                      server().url(QStringLiteral("/installer")).toString(),
                                      QStringLiteral("notes")));
    });
    auto window = makeWindow(108);
    QPushButton *button = updateButton(*window);
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Download Update"), 10000);
    window->ui->errInfo->setText(QStringLiteral("stale"));

    // Offered -> downloading
    QSignalSpy progress(window->downloadManager, &DownLoadManager::signalDownloadProcess);
    button->click();
    QCOMPARE(errorText(*window), QString());
    QCOMPARE(button->text(), QStringLiteral("Cancel"));
    QVERIFY(window->downloading && !window->hasUpdate && button->isEnabled());
    QTRY_VERIFY(window->ui->progressBar->value() > 0);

    // Downloading -> idle
    window->ui->errInfo->setText(QStringLiteral("stale"));
    button->click();
    QCOMPARE(errorText(*window), QString());
    QCOMPARE(button->text(), QStringLiteral("Check Update"));
    QCOMPARE(window->ui->progressBar->value(), 0);
    QVERIFY(!window->downloading && !window->hasUpdate);

    // Idle -> checking -> offered: the check appends below the earlier lines
    button->click();
    QCOMPARE(button->text(), QStringLiteral("Download Update"));
    QCOMPARE(infoText(*window).count(QStringLiteral("Latest app version is: 109")), 2);

    // Download again: every progress signal moves the bar once, the finish hands off once
    int barChanges = 0;
    connect(window->ui->progressBar, &QProgressBar::valueChanged, [&barChanges] { ++barChanges; });
    progress.clear();
    button->click();
    QCOMPARE(button->text(), QStringLiteral("Cancel"));
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Installing"), 30000);
    QVERIFY(!progress.isEmpty());
    QVERIFY(barChanges <= progress.size()); // not twice per signal after a second start
    QCOMPARE(window->ui->progressBar->value(), 100);
    QVERIFY(!button->isEnabled());
}

void TestVersionQuery::failedDownloadReturnsToIdle()
{
    server().setHandler([](const HttpRequest &request, HttpResponse &response) {
        if (request.path == QLatin1String("/installer")) {
            response.setStatus(500);
            return;
        }
        response.setBody(versionReply(QStringLiteral("109"),
                                      server().url(QStringLiteral("/installer")).toString(),
                                      QStringLiteral("notes")));
    });
    auto window = makeWindow(108);
    QPushButton *button = updateButton(*window);
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Download Update"), 10000);
    button->click();
    QTRY_COMPARE_WITH_TIMEOUT(errorText(*window), QStringLiteral("Download failed"), 10000);
    QCOMPARE(button->text(), QStringLiteral("Check Update"));
    QVERIFY(button->isEnabled());
    QVERIFY(!window->downloading && !window->hasUpdate);
    QCOMPARE(window->ui->progressBar->value(), 0);
    QVERIFY(logText().endsWith(QStringLiteral(" - download failed\n")));
}

void TestVersionQuery::dailyCheck_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("staysOpen");

    QTest::newRow("no update") << versionReply("108", "a", "n") << false;
    QTest::newRow("failure") << QByteArray("not json") << false;
    QTest::newRow("newer version") << versionReply("109", "a", "the notes") << true;
}

void TestVersionQuery::dailyCheck()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, staysOpen);

    server().setHandler(
        [body](const HttpRequest &, HttpResponse &response) { response.setBody(body); });
    auto window = makeWindow(108, true);
    QVERIFY(!window->isVisible());
    if (!staysOpen) {
        QCOMPARE(execUntilQuit(10000), 0);
        QVERIFY(!window->isVisible());
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(checkDone(*window), 10000);
    QVERIFY(window->isVisible());
    QVERIFY(!window->isMinimized());
    QVERIFY(!(window->windowFlags() & Qt::WindowStaysOnTopHint));
    QVERIFY(infoText(*window).endsWith(QStringLiteral("the notes")));
    QCOMPARE(updateButton(*window)->text(), QStringLiteral("Download Update"));
}

void TestVersionQuery::raiseDuringDailyCheckKeepsWindow()
{
    server().setHandler([](const HttpRequest &, HttpResponse &response) {
        response.setBody(versionReply("108", "a", "n"));
        response.throttle(8, 100); // slow enough for the message to arrive during the check
    });
    auto window = makeWindow(108, true);
    MainWindow *raw = window.get();
    connect(&server(), &LocalHttpsServer::requestReceived, raw,
            [raw] { raw->anotherInstanceMessage(QStringLiteral("RAISE_WINDOW_NOOP")); });
    QTRY_VERIFY_WITH_TIMEOUT(checkDone(*window), 10000);
    QVERIFY(!window->dailyCheck);
    QVERIFY(window->isVisible());
    QVERIFY(infoText(*window).endsWith(QStringLiteral("There are currently no updates")));
}

UPDATER_TEST_MAIN(TestVersionQuery)
#include "tst_versionquery.moc"
