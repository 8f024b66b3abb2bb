#include "update/updatecontroller.h"

#include "core/productpaths.h"
#include "core/updatelog.h"
#include "fixtures/httpsserver/localhttpsserver.h"
#include "tests/support/testsupport.h"
#include "update/networksetup.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

using State = UpdateController::State;

// The controller against a real local HTTPS server that stands in for the version service and
// the installer's host, driven through its one input and watched through its signals.
class TestUpdateController : public QObject
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

private:
    // Offers 109 at "/installer", served by `installer`, with a stated digest when given.
    void serveUpdate(const LocalHttpsServer::Handler &installer, const QByteArray &sha256 = {});
    // Activates and waits for the check to end; the error text it reported.
    static QString check(UpdateController &controller);

    LocalHttpsServer server{LocalHttpsServer::Scheme::Https};
};

void TestUpdateController::initTestCase()
{
    QVERIFY(server.setCertificate(testDataPath("server.pem"), testDataPath("server.key")));
    QVERIFY2(server.listen(), qPrintable(server.errorString()));
    qputenv("GLIMMERPANE_VERSION_SERVICE", server.url(QString()).toString().toUtf8());
    qputenv("GLIMMERPANE_EXTRA_CA_CERTS", testDataPath("ca.pem").toUtf8());
    qputenv("GLIMMERPANE_TIME_LIMIT_MS", "1500");
    setUpNetwork();
    openUpdateLog();
}

void TestUpdateController::serveUpdate(const LocalHttpsServer::Handler &installer,
                                       const QByteArray &sha256)
{
    const QString digest = sha256.isEmpty() ? QString() : ",\"sha256\":\"" + sha256.toHex() + '"';
    const QByteArray reply = versionServiceReply("109", server.url("/installer").toString(), "n")
                                 .replace("}}", digest.toLatin1() + "}}");
    server.setHandler([=](const HttpRequest &request, HttpResponse &response) {
        if (request.path == QLatin1String("/installer"))
            installer(request, response);
        else
            response.setBody(reply);
    });
}

QString TestUpdateController::check(UpdateController &controller)
{
    QSignalSpy finished(&controller, &UpdateController::checkFinished);
    controller.activate();
    if (controller.state() != State::Checking || !finished.wait(10000))
        return "no check";
    return finished.first().first().toString();
}

// What only a real service shows: the request, limits on time and size, and what reaches the
// window (every kind of body is a row of the version check's own test).
void TestUpdateController::versionReplies_data()
{
    QTest::addColumn<QByteArray>("body"); // "stall", "endless": misbehaving services
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<QString>("info"); // the lines added, joined

    const QString parseError = "can not parse response";
    QTest::newRow("stalled service")
        << QByteArray("stall") << "JSON format err" << parseError << "";
    QTest::newRow("endless body") << QByteArray("endless") << "JSON format err" << parseError << "";
    QTest::newRow("code 404") << QByteArray(R"({"code":404})") << ""
                              << "code is: 404"
                              << "";
    const QString versions = "Your app version is: 108\nLatest app version is: 109\n\n\n";
    QTest::newRow("newer version") << versionServiceReply("109", "a", "Fixes.") << ""
                                   << "" << versions + "Fixes.";
    const QString nested = QString("<table><tr><td>").repeated(3000);
    QTest::newRow("deeply nested markup") << versionServiceReply("109", "a", nested) << ""
                                          << "" << versions + nested.left(1000) + u'\u2026';
    const QString line(1024 * 1024 - 200, 'x');
    QTest::newRow("one line of 1 MiB") << versionServiceReply("109", "a", line) << ""
                                       << "" << versions + line.left(1000) + u'\u2026';
}

void TestUpdateController::versionReplies()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, logLine);
    QFETCH(QString, errorText);
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
    UpdateController controller;
    controller.setAppVersion(108);
    QSignalSpy added(&controller, &UpdateController::infoAdded);

    QCOMPARE(check(controller), errorText);
    QCOMPARE(queries, QStringList{"/api/front/index/get/version?appPlatform=Windows"});
    QStringList lines;
    for (const QVariantList &signal : added)
        lines << signal.first().toString();
    QCOMPARE(lines.join('\n'), info);
    QCOMPARE(controller.state(), State::Idle);
    QCOMPARE(controller.hasUpdate(), !info.isEmpty());
    QCOMPARE(QFileInfo(controller.installerPath()).fileName(),
             info.isEmpty() ? "" : "Glimmerpane109.exe");
    const QString newLog = updateLogText().mid(logSize);
    QCOMPARE(newLog.section(" - ", 1), logLine.isEmpty() ? "" : logLine + "\n");
}

// Check, download, cancel, check again, download to the end: the states, the offer and the
// progress, as the window is told them.
void TestUpdateController::stateTable()
{
    serveUpdate([](const HttpRequest &, HttpResponse &response) {
        response.setGeneratedBody(2 * 1024 * 1024);
        response.throttle(256 * 1024, 100); // slow enough to cancel half-way
    });
    UpdateController controller;
    controller.setAppVersion(108);
    QSignalSpy states(&controller, &UpdateController::stateChanged);
    QSignalSpy progress(&controller, &UpdateController::progressChanged);
    QSignalSpy installed(&controller, &UpdateController::installFinished);

    QCOMPARE(check(controller), QString());
    QVERIFY(controller.hasUpdate());
    controller.activate(); // downloads
    QTRY_VERIFY(!progress.isEmpty());
    QCOMPARE(progress.constLast().at(1).toLongLong(), 2 * 1024 * 1024);
    controller.activate(); // cancels
    QVERIFY(!controller.hasUpdate());
    QCOMPARE(check(controller), QString());
    controller.activate();
    QTRY_COMPARE_WITH_TIMEOUT(installed.count(), 1, 30000);
    QCOMPARE(progress.constLast().first().toLongLong(), 2 * 1024 * 1024);

    QList<State> sequence;
    for (const QVariantList &signal : states)
        sequence << signal.first().value<State>();
    QCOMPARE(sequence,
             QList<State>({State::Checking, State::Idle, State::Downloading, State::Idle,
                           State::Checking, State::Idle, State::Downloading, State::Installing}));
    controller.activate(); // nothing while installing
    QCOMPARE(states.count(), sequence.size());
}

void TestUpdateController::downloadFailures_data()
{
    QTest::addColumn<QString>("failure"); // what goes wrong
    QTest::addColumn<QString>("logLine");

    QTest::newRow("server error, retried") << "500"
                                           << "download retry 3";
    QTest::newRow("digest other than stated") << "digest"
                                              << "installer checksum mismatch";
    QTest::newRow("update folder taken by a plain file") << "plain file"
                                                         << "create update folder failed";
}

// Whatever stops a download, the controller goes back to Idle without an offer, reports the
// failure once and starts nothing.
void TestUpdateController::downloadFailures()
{
    QFETCH(QString, failure);
    QFETCH(QString, logLine);

    serveUpdate([=](const HttpRequest &, HttpResponse &response) {
        response.setStatus(failure == "500" ? 500 : 200);
        response.setBody("MZ");
    });
    if (failure == "digest")
        serveUpdate([](const HttpRequest &, HttpResponse &response) { response.setBody("M"); },
                    QCryptographicHash::hash("MZ", QCryptographicHash::Sha256));
    const QString folder = QDir::cleanPath(updateFolderPath());
    QDir(folder).removeRecursively();
    QFile plain(folder);
    QVERIFY(failure != "plain file" || plain.open(QIODevice::WriteOnly));
    const int logSize = updateLogText().size();
    UpdateController controller;
    controller.setAppVersion(108);
    QSignalSpy failed(&controller, &UpdateController::downloadFailed);
    QCOMPARE(check(controller), QString());
    controller.activate();
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000); // at once when the folder is taken
    plain.remove();
    QCOMPARE(controller.state(), State::Idle);
    QVERIFY(!controller.hasUpdate());
    const QString newLog = updateLogText().mid(logSize);
    QVERIFY2(newLog.contains(" - " + logLine + "\n") && newLog.endsWith(" - download failed\n") &&
                 !newLog.contains("install start"),
             qPrintable(newLog));
}

// A file changed between the download and the start is not started.
void TestUpdateController::swappedInstallerNotStarted()
{
    serveUpdate([](const HttpRequest &, HttpResponse &response) { response.setBody("MZ"); },
                QCryptographicHash::hash("MZ", QCryptographicHash::Sha256));
    UpdateController controller;
    controller.setAppVersion(108);
    QSignalSpy installed(&controller, &UpdateController::installFinished);
    connect(&controller, &UpdateController::stateChanged, this, [&](State state) {
        if (state == State::Installing)
            QVERIFY(writeFileBytes(controller.installerPath(), "#!/bin/sh\n"));
    });
    QCOMPARE(check(controller), QString());
    controller.activate();
    QVERIFY(installed.wait(10000));
    QCOMPARE(installed.first().first().toBool(), false);
    QVERIFY(updateLogText().endsWith(" - install file Glimmerpane109.exe changed\n"));
}

UPDATER_TEST_MAIN(TestUpdateController)
#include "tst_updatecontroller.moc"
