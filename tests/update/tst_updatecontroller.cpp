#include "update/updatecontroller.h"

#include "core/productpaths.h"
#include "fixtures/httpsserver/localhttpsserver.h"
#include "tests/support/testsupport.h"
#include "tools/signing/installersigner.h"
#include "update/updatefolderchoice.h"

#include <QApplication>
#include <QAuthenticator>
#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTest>

using State = UpdateController::State;
Q_DECLARE_METATYPE(SecureFolder)

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
    void failures_data();
    void failures();
    void proxyLoginHoldsDeadline();
    void folderChoice_data();
    void folderChoice();

private:
    // Activates and waits for the check to end; the error text it reported.
    static QString check(UpdateController &controller);

    LocalHttpsServer server{LocalHttpsServer::Scheme::Https};
    const InstallerSigner vendor, stranger;
};

void TestUpdateController::initTestCase()
{
    QVERIFY2(serveAsVersionService(server), qPrintable(server.errorString()));
}

QString TestUpdateController::check(UpdateController &controller)
{
    QSignalSpy finished(&controller, &UpdateController::checkFinished);
    controller.activate();
    if (controller.state() != State::Checking || !finished.wait(10000))
        return "no check";
    // The English the window words it with.
    const auto result = finished.first().first().value<VersionCheck>();
    using Problem = VersionCheck::Problem;
    const QHash<Problem, QString> texts{{Problem::Unparsable, "can not parse response"},
                                        {Problem::NullResponse, "response is null"},
                                        {Problem::NoData, "not contains data"},
                                        {Problem::NoUpdateInfo, "not contains update info"}};
    return result.problem == Problem::ErrorCode ? "code is: " + QString::number(result.code)
                                                : texts.value(result.problem);
}

// Every kind of reply the service can give, and limits on its time and size: what the update
// logs, reports and offers. With a vendor key ("key: " rows; "stranger: " another key) an offered
// update must be signed, for its dotted version.
void TestUpdateController::versionReplies_data()
{
    QTest::addColumn<QByteArray>("body"); // "stall", "endless": misbehaving services
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<QString>("lastLine"); // the last line for the notes view; empty for none
    QTest::addColumn<bool>("offered");

    const auto row = [](const char *name, const QByteArray &body, const QString &logLine,
                        const QString &errorText, const QString &lastLine = "",
                        bool offered = false) {
        QTest::newRow(name) << body << logLine << errorText << lastLine << offered;
    };
    const QString parseError = "can not parse response", noInfo = "not contains update info";
    row("stalled service", "stall", "JSON format err", parseError);
    row("endless body", "endless", "JSON format err", parseError);
    row("invalid JSON", "{\"code\": 200,", "JSON format err", parseError);
    row("code 404", R"({"code":404})", "", "code is: 404");
    row("data as array", R"({"code":200,"data":[1]})", "", "not contains data");
    row("data without updateLog", R"({"code":200,"data":{"appVersion":"109","updateAddress":"x"}})",
        "", noInfo);
    row("same version", versionServiceReply("108", "a", "n"), "", "",
        "There are currently no updates");
    row("newer version", versionServiceReply("109", "a", "Fixes."), "", "", "Fixes.", true);
    const QString nested = QString("<table><tr><td>").repeated(3000);
    row("deeply nested markup", versionServiceReply("109", "a", nested), "", "",
        nested.left(1000) + u'\u2026', true);
    const QString line(1024 * 1024 - 200, 'x');
    row("one line of 1 MiB", versionServiceReply("109", "a", line), "", "",
        line.left(1000) + u'\u2026', true);

    const QString installer = testSandboxPath() + "/setup.exe";
    QVERIFY(writeFileBytes(installer, "MZ"));
    QString error;
    QJsonObject members = vendor.integrityMembers(installer, "1.0.9", &error).value();
    members.remove("appVersion");
    const QByteArray vendorSigned =
        ',' + QJsonDocument(members).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    const QByteArray hex(64, 'a'), signature = QByteArray(64, 's').toBase64();
    const QByteArray good =
        R"(,"size":3,"sha256":")" + hex.toUpper() + R"(","signature":")" + signature + "\"";
    const auto offer = [](const QByteArray &members) {
        return versionServiceReply("109", "https://host/setup", "n").replace("}}", members + "}}");
    };
    row("size, digest and signature", offer(good), "", "", "n", true);
    row("key: signed for 1.0.9", offer(vendorSigned), "", "", "n", true);
    row("stranger: signed by another key", offer(vendorSigned), "installer signature invalid",
        noInfo);
    row("key: nothing newer needs no signature", versionServiceReply("108", "a", "n"), "", "",
        "There are currently no updates");
    const auto bad = [&](const char *name, const QByteArray &members) {
        row(name, offer(members), "invalid integrity info", noInfo);
    };
    bad("negative size", R"(,"size":-1)");
    bad("digest of 63 digits", R"(,"sha256":")" + hex.left(63) + "\"");
    bad("digest not hex", R"(,"sha256":")" + QByteArray(64, 'g') + "\"");
    bad("signature of 63 bytes", R"(,"signature":")" + QByteArray(63, 's').toBase64() + "\"");
    bad("signature not base64", R"(,"signature":"@@@@")");
    bad("key: digest without signature", R"(,"sha256":")" + hex + "\"");
    bad("key: digest and signature without size", good.mid(good.indexOf(',', 1)));
    bad("key: signed, without a dotted version", good);
    const auto dotted = [](const QString &version) { // "appVersion" its digits
        return versionServiceReply(QString(version).remove('.'), "a", "n")
            .replace("}}", ",\"version\":\"" + version.toLatin1() + "\"}}");
    };
    for (const char *version : {"1.09", "1.0.0.0.9", "1.65536"})
        row(version, dotted(version), "invalid integrity info", noInfo);
}

void TestUpdateController::versionReplies()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, logLine);
    QFETCH(QString, errorText);
    QFETCH(QString, lastLine);
    QFETCH(bool, offered);

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
    const QByteArray tag = QTest::currentDataTag();
    if (tag.startsWith("key: ") || tag.startsWith("stranger: "))
        qputenv("GLIMMERPANE_UPDATE_PUBLIC_KEY",
                (tag.startsWith("key: ") ? vendor : stranger).publicKeyBase64());
    const int logSize = updateLogText().size();
    UpdateController controller;
    controller.setAppVersion(108);
    controller.setInstalledVersion("1.0.8");
    QSignalSpy finished(&controller, &UpdateController::checkFinished);

    const QString reported = check(controller);
    qunsetenv("GLIMMERPANE_UPDATE_PUBLIC_KEY");
    QCOMPARE(reported, errorText);
    QCOMPARE(queries, QStringList{"/api/front/index/get/version?appPlatform=Windows"});
    const auto result = finished.value(0).value(0).value<VersionCheck>();
    const QString shownLast = !result.answered   ? ""
                              : result.hasUpdate ? result.releaseNotes
                                                 : "There are currently no updates";
    QCOMPARE(shownLast, lastLine);
    QCOMPARE(result.appVersion, result.answered ? 108 : 0);
    QCOMPARE(controller.state(), State::Idle);
    QCOMPARE(controller.hasUpdate(), offered);
    QCOMPARE(QFileInfo(controller.installerPath()).fileName(), offered ? "Glimmerpane109.exe" : "");
    const QString newLog = updateLogText().mid(logSize);
    QCOMPARE(newLog.section(" - ", 1), logLine.isEmpty() ? "" : logLine + "\n");
}

// Check, download, cancel, check again, download to the end: the states, the offer and the
// progress, as the window is told them.
void TestUpdateController::stateTable()
{
    offerUpdate(server, [](const HttpRequest &, HttpResponse &response) {
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

void TestUpdateController::failures_data()
{
    QTest::addColumn<QString>("failure");  // what goes wrong
    QTest::addColumn<QString>("logLines"); // what the log gains, joined by "; "

    const QString prepare = "prepare to download update; ";
    QTest::newRow("digest other than stated")
        << "digest" << prepare + "installer checksum mismatch; download failed";
    QTest::newRow("installer not found")
        << "404" << prepare + "download error: HTTP status 404; download failed";
    QTest::newRow("update folder taken by a plain file")
        << "plain file" << prepare + "create update folder failed; download failed";
    QTest::newRow("installer swapped between the download and its start")
        << "swapped" << prepare + "install file Glimmerpane109.exe changed";
}

// Whatever stops an update, the controller reports it once, keeps no offer, says why in the log
// and starts nothing.
void TestUpdateController::failures()
{
    QFETCH(QString, failure);
    QFETCH(QString, logLines);

    offerUpdate(
        server,
        [=](const HttpRequest &, HttpResponse &response) {
            response.setStatus(failure == "404" ? 404 : 200);
            response.setBody(failure == "digest" ? "M" : "MZ");
        },
        "n", QCryptographicHash::hash("MZ", QCryptographicHash::Sha256));
    const QString folder = QDir::cleanPath(updateFolderPath());
    QDir(folder).removeRecursively();
    QFile plain(folder);
    QVERIFY(failure != "plain file" || plain.open(QIODevice::WriteOnly));
    UpdateController controller;
    controller.setAppVersion(108);
    QSignalSpy failed(&controller, &UpdateController::downloadFailed);
    QSignalSpy installed(&controller, &UpdateController::installFinished);
    connect(&controller, &UpdateController::stateChanged, this, [&](State state) {
        if (state == State::Installing && failure == "swapped")
            QVERIFY(writeFileBytes(controller.installerPath(), "#!/bin/sh\n"));
    });
    QCOMPARE(check(controller), QString());
    const int logSize = updateLogText().size();
    controller.activate();
    QTRY_COMPARE_WITH_TIMEOUT(failed.count() + installed.count(), 1, 10000);
    plain.remove();
    QVERIFY(installed.isEmpty() || !installed.first().first().toBool());
    QVERIFY(!controller.hasUpdate());
    QStringList logged;
    for (const QString &line : updateLogText().mid(logSize).split('\n', Qt::SkipEmptyParts))
        logged << line.section(" - ", 1);
    QCOMPARE(logged.join("; "), logLines);
}

// The time a user takes over the proxy's question for credentials does not count against the
// check's time limit.
void TestUpdateController::proxyLoginHoldsDeadline()
{
    LocalHttpsServer proxy{LocalHttpsServer::Scheme::Http};
    proxy.setHandler([](const HttpRequest &, HttpResponse &response) {
        response.setStatus(407);
        response.setHeader("Proxy-Authenticate", "Basic realm=\"test\"");
    });
    QVERIFY(proxy.listen());
    qputenv("https_proxy", proxy.url(QString()).toString().toUtf8());
    qputenv("GLIMMERPANE_PROXY_LOOPBACK", "1");
    UpdateController controller;
    QSignalSpy finished(&controller, &UpdateController::checkFinished);
    int asked = 0;
    connect(&controller, &UpdateController::proxyLoginRequired, this, [&] {
        ++asked;
        QTest::qWait(3000); // a user slower than the 1.5 s limit, who then gives up
        QCOMPARE(finished.count(), 0);
    });
    controller.activate();
    QVERIFY(finished.wait(10000));
    qunsetenv("GLIMMERPANE_PROXY_LOOPBACK");
    qunsetenv("https_proxy");
    QCOMPARE(asked, 1);
}

// Another account's update folder, which Wine cannot fake: the choice from what the checks found.
void TestUpdateController::folderChoice_data()
{
    QTest::addColumn<SecureFolder>("shared");
    QTest::addColumn<SecureFolder>("own"); // what the own folder's check finds, when asked
    QTest::addColumn<int>("folder");       // UpdateFolderChoice::Folder
    QTest::addColumn<QString>("logLine");

    using S = SecureFolder;
    const auto row = [](const char *name, S shared, S own, UpdateFolderChoice::Folder folder,
                        const QString &logLine = "") {
        QTest::newRow(name) << shared << own << int(folder) << logLine;
    };
    const QString tightened = "update folder access tightened";
    row("shared kept", S::Kept, S::Failed, UpdateFolderChoice::Shared);
    row("shared tightened", S::Tightened, S::Failed, UpdateFolderChoice::Shared, tightened);
    row("shared fails", S::Failed, S::Created, UpdateFolderChoice::None);
    row("another's: own made", S::NotOurs, S::Created, UpdateFolderChoice::Own,
        "update folder of another account: using this account's own");
    row("another's: own tightened", S::NotOurs, S::Tightened, UpdateFolderChoice::Own, tightened);
    row("another's: own not ours either", S::NotOurs, S::NotOurs, UpdateFolderChoice::None,
        "update folder not ours");
    row("another's: own fails", S::NotOurs, S::Failed, UpdateFolderChoice::None);
}

void TestUpdateController::folderChoice()
{
    QFETCH(SecureFolder, shared);
    QFETCH(SecureFolder, own);
    QFETCH(int, folder);
    QFETCH(QString, logLine);
    int asked = 0;
    const UpdateFolderChoice choice = chooseUpdateFolder(shared, [&] { return ++asked, own; });
    QCOMPARE(int(choice.folder), folder);
    QCOMPARE(choice.logLine, logLine);
    QCOMPARE(asked, shared == SecureFolder::NotOurs ? 1 : 0);
}

UPDATER_TEST_MAIN(TestUpdateController)
#include "tst_updatecontroller.moc"
