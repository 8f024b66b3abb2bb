#include "app/updatelog.h"
#include "download/downloadmanager.h"
#include "download/networksetup.h"
#include "download/releasestatement.h"
#include "tests/support/testsupport.h"
#include "tools/httpsserver/localhttpsserver.h"
#include "tools/signing/installersigner.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

// A manager with spies on its three signals.
struct WatchedManager
{
    DownLoadManager manager;
    QSignalSpy error{&manager, &DownLoadManager::signalDownloadError};
    QSignalSpy finished{&manager, &DownLoadManager::signalReplyFinished};
    QSignalSpy progress{&manager, &DownLoadManager::signalDownloadProcess};
};

} // namespace

Q_DECLARE_METATYPE(InstallerExpectation)

// Every download runs against real loopback servers, a trusted HTTPS one and a plain HTTP one,
// and against installers signed with the vendor's signing code.
class TestDownloadManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void downloads_data();
    void downloads();
    void endlessCaFileRefused();
    void statementLayout();

private:
    void serve(const HttpRequest &request, HttpResponse &response);
    QStringList folderEntries() const { return QDir(folder->path()).entryList(QDir::Files); }
    int openConnections() const { return server.connectionCount() + plainServer.connectionCount(); }

    LocalHttpsServer server{LocalHttpsServer::Scheme::Https};
    LocalHttpsServer plainServer{LocalHttpsServer::Scheme::Http};
    const QSslConfiguration systemTls = QSslConfiguration::defaultConfiguration();
    InstallerExpectation signedPayload; // signed for version 109
    QByteArray signedFor107, publicKey, otherKey;
    std::unique_ptr<QTemporaryDir> folder;
    const QByteArray payload = HttpResponse::generatedBytes(0, 3 * 1024 * 1024 + 17);
    qint64 tempSizeAtRequest = -2; // of the one temporary file when the last request arrived
};

void TestDownloadManager::initTestCase()
{
    trustTestCa();
    openUpdateLog();
    // The vendor's side: the signing tool's members for the payload, and a stranger's key.
    const QString payloadFile = testSandboxPath() + "/payload";
    QVERIFY(writeFileBytes(payloadFile, payload));
    const InstallerSigner vendor;
    QString error;
    const std::optional<QJsonObject> members = vendor.integrityMembers(payloadFile, 109, &error);
    const std::optional<QJsonObject> older = vendor.integrityMembers(payloadFile, 107, &error);
    QVERIFY2(members && older, qPrintable(error));
    signedPayload.version = 109;
    signedFor107 = QByteArray::fromBase64(older->value("signature").toString().toLatin1());
    signedPayload.size = qint64(members->value("size").toDouble());
    signedPayload.sha256 = QByteArray::fromHex(members->value("sha256").toString().toLatin1());
    signedPayload.signature =
        QByteArray::fromBase64(members->value("signature").toString().toLatin1());
    publicKey = vendor.publicKeyBase64();
    otherKey = InstallerSigner().publicKeyBase64();
#ifdef Q_OS_LINUX
    std::signal(SIGXFSZ, SIG_IGN); // a write past the file size limit fails instead of killing
#endif
    QVERIFY(server.setCertificate(testDataPath("server.pem"), testDataPath("server.key")));
    for (LocalHttpsServer *each : {&server, &plainServer}) {
        each->setHandler([this](const HttpRequest &request, HttpResponse &response) {
            serve(request, response);
        });
        QVERIFY2(each->listen(), qPrintable(each->errorString()));
    }
}

void TestDownloadManager::serve(const HttpRequest &request, HttpResponse &response)
{
    const QFileInfoList temporary = QDir(folder->path()).entryInfoList({"*_tmp"}, QDir::Files);
    tempSizeAtRequest = temporary.size() == 1 ? temporary.first().size() : -1;
    const QString &path = request.path;
    if (path == "/file" || path == "/chunked") {
        response.setBody(payload);
        response.throttle(512 * 1024, 50); // long enough for progress reports on the way
        if (path == "/chunked")
            response.setFraming(HttpResponse::Framing::Chunked);
    } else if (path == "/chunked-short") {
        response.setBody(payload.left(payload.size() - 1000));
        response.setFraming(HttpResponse::Framing::Chunked);
    } else if (path == "/moved") {
        response.redirect(server.url("/file"));
    } else if (path == "/to-http") {
        response.redirect(plainServer.url("/file"));
    } else if (path == "/drop") {
        response.setGeneratedBody(1024 * 1024);
        response.dropAfter(256 * 1024);
    } else if (path == "/stall") {
        response.setGeneratedBody(1024 * 1024);
        response.stallAfter(64 * 1024);
    } else {
        response.setStatus(path == "/fail" ? 500 : 404);
        response.setBody("no installer here");
    }
}

void TestDownloadManager::init()
{
    qunsetenv("GLIMMERPANE_TIME_LIMIT_MS");
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    tempSizeAtRequest = -2;
}

void TestDownloadManager::downloads_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QString>("target"); // below the folder
    QTest::addColumn<QString>("setup");  // what stands in the folder beforehand
    QTest::addColumn<InstallerExpectation>("expectation");
    // "stall limit", "full disk", "late error": errorOccurred not seen, or the vendor keys'
    // (see `keys` below)
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QString>("failure"); // the log line of a refusal; "-" for success

    const QString setup = "setup.exe";
    const InstallerExpectation none;
    const auto row = [&](const char *name, const QUrl &url, const QString &failure,
                         const InstallerExpectation &expectation = InstallerExpectation(),
                         const QString &condition = QString(), const QString &before = QString(),
                         const QString &target = "setup.exe") {
        QTest::newRow(name) << url << target << before << expectation << condition << failure;
    };
    row("with length", server.url("/file"), "-");
    row("chunked", server.url("/chunked"), "-");
    row("https to https redirect", server.url("/moved"), "-");
    row("older installer replaced", server.url("/file"), "-", none, "", setup);
    row("leftover temporary file deleted", server.url("/file"), "-", none, "", setup + "_tmp");
    row("dangling link at the temporary name", server.url("/file"), "-", none, "", "link");
    row("target containing _tmp", server.url("/file"), "-", none, "", "", "a_tmp.exe");
    row("signed and verified", server.url("/file"), "-", signedPayload, "key");

    row("dropped connection", server.url("/drop"), "");
    row("404", server.url("/missing"), "");
    row("500", server.url("/fail"), "");
    row("error seen only at the finish", server.url("/fail"), "", none, "late error");
    row("https to http redirect", server.url("/to-http"), "");
    row("stalled past the time-out", server.url("/stall"), "download stalled", none, "stall limit");
    row("write fails on a full disk", server.url("/file"), "write installer failed", none,
        "full disk");
    row("data: address", QUrl("data:application/octet-stream;base64,TVo="),
        "invalid update address");
    row("file: address", QUrl::fromLocalFile(GLIMMERPANE_DEMO_INSTALLER_BIN),
        "invalid update address");
    row("temporary name taken by a folder", server.url("/file"), "open temporary file failed", none,
        "", "folder:" + setup + "_tmp");
    row("installer name taken by a folder", server.url("/file"), "remove old installer failed",
        none, "", "folder:" + setup);
    InstallerExpectation tampered = signedPayload, longer = signedPayload, shorter = signedPayload;
    tampered.sha256 = QCryptographicHash::hash(payload + "x", QCryptographicHash::Sha256);
    longer.size += 1;
    shorter.size -= 1000;
    row("tampered, same size", server.url("/file"), "installer checksum mismatch", tampered);
    row("Content-Length other than stated", server.url("/file"), "installer size mismatch", longer);
    row("truncated, no length", server.url("/chunked-short"), "installer size mismatch",
        signedPayload);
    row("longer than stated", server.url("/chunked"), "installer size mismatch", shorter);
    InstallerExpectation badSignature = signedPayload, unsigned_ = signedPayload;
    badSignature.signature[10] = char(badSignature.signature[10] ^ 1);
    unsigned_.signature.clear();
    row("bad signature", server.url("/file"), "installer signature invalid", badSignature, "key");
    row("signature by another key", server.url("/file"), "installer signature invalid",
        signedPayload, "other key");
    row("signed by the second of two keys", server.url("/file"), "-", signedPayload, "two keys");
    row("key list with a malformed entry", server.url("/file"), "installer signature invalid",
        signedPayload, "broken key list");
    InstallerExpectation relabelled = signedPayload;
    relabelled.signature = signedFor107;
    row("signed for 107, offered as 109", server.url("/file"), "installer signature invalid",
        relabelled, "key");
    row("key built in, no signature", server.url("/file"), "installer signature invalid", unsigned_,
        "key");
}

void TestDownloadManager::downloads()
{
    QFETCH(QUrl, url);
    QFETCH(QString, target);
    QFETCH(QString, setup);
    QFETCH(InstallerExpectation, expectation);
    QFETCH(QString, condition);
    QFETCH(QString, failure);

    const QString outside = folder->filePath("../outside-" + QFileInfo(folder->path()).fileName());
    if (setup == "link")
        QVERIFY(QFile::link(outside, folder->filePath(target + "_tmp")));
    else if (setup.startsWith("folder:"))
        QVERIFY(QDir(folder->path()).mkpath(setup.mid(7) + "/inside"));
    else if (!setup.isEmpty())
        QVERIFY(writeFileBytes(folder->filePath(setup), QByteArray(5000, 'x')));
    if (condition == "stall limit")
        qputenv("GLIMMERPANE_TIME_LIMIT_MS", "300");
    const QMap<QString, QByteArray> keys{{"key", publicKey},
                                         {"other key", otherKey},
                                         {"two keys", otherKey + " , " + publicKey},
                                         {"broken key list", publicKey + ",@@"}};
    if (keys.contains(condition))
        qputenv("GLIMMERPANE_UPDATE_PUBLIC_KEY", keys.value(condition));
#ifdef Q_OS_LINUX
    rlimit original{};
    getrlimit(RLIMIT_FSIZE, &original);
    const rlimit small{256 * 1024, original.rlim_max};
    if (condition == "full disk")
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
#else
    if (condition == "full disk")
        QSKIP("needs a file size limit (setrlimit)");
#endif
    WatchedManager watched;
    const int requests = server.requestCount();
    const int logSize = updateLogText().size();

    watched.manager.startDownload(url.toString(), folder->filePath(target), expectation);
    if (condition == "late error")
        QVERIFY(QObject::disconnect(watched.manager.networkManager()->findChild<QNetworkReply *>(),
                                    &QNetworkReply::errorOccurred, &watched.manager, nullptr));
    QTRY_COMPARE_WITH_TIMEOUT(watched.finished.count() + watched.error.count(), 1, 20000);
#ifdef Q_OS_LINUX
    setrlimit(RLIMIT_FSIZE, &original);
#endif
    qunsetenv("GLIMMERPANE_UPDATE_PUBLIC_KEY");
    QTRY_COMPARE(openConnections(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(plainServer.requestCount(), 0); // never downgraded to plain HTTP
    QVERIFY(!QFileInfo(outside).exists());
    const QString newLog = updateLogText().mid(logSize);
    if (failure != "-") {
        QCOMPARE(watched.error.count(), 1);
        QCOMPARE(watched.finished.count(), 0);
        QCOMPARE(folderEntries(), QStringList());
        QCOMPARE(newLog.section(" - ", 1).trimmed(), failure);
        // Nothing is fetched for an address or a signature that is refused.
        if (failure == "invalid update address" || failure == "installer signature invalid")
            QCOMPARE(server.requestCount(), requests);
        return;
    }
    QCOMPARE(newLog, QString());
    QCOMPARE(watched.finished.first(), QVariantList{200});
    QCOMPARE(watched.error.count(), 0);
    QCOMPARE(tempSizeAtRequest, 0); // every download starts from an empty temporary file
    QCOMPARE(folderEntries(), QStringList{target});
    QVERIFY(readFileBytes(folder->filePath(target)) == payload);
    QVERIFY(watched.progress.count() > 1);
    QCOMPARE(watched.progress.last(), (QVariantList{int(payload.size()), int(payload.size())}));
}

// Every test that reaches a local server proves that GLIMMERPANE_EXTRA_CA_CERTS adds the test
// CA; a file that would never end (a device, a fifo) is not read at all.
void TestDownloadManager::endlessCaFileRefused()
{
    QSslConfiguration::setDefaultConfiguration(systemTls);
    qputenv("GLIMMERPANE_EXTRA_CA_CERTS", "/dev/zero");
    QTest::ignoreMessage(QtWarningMsg, "GLIMMERPANE_EXTRA_CA_CERTS: cannot read /dev/zero");
    setUpNetwork();
    QCOMPARE(QSslConfiguration::defaultConfiguration().caCertificates().size(),
             systemTls.caCertificates().size());
}

// Signing and checking share the code, so only this shows a change of the signed bytes, which
// would void every release already signed.
void TestDownloadManager::statementLayout()
{
    const QByteArray digest(32, '\xab');
    QCOMPARE(releaseStatement(109, 3, digest), "glimmerpane-release-statement-1\nGlimmerpane\n"
                                               "Windows\n109\n3\n" +
                                                   digest.toHex() + '\n');
}

UPDATER_TEST_MAIN(TestDownloadManager)
#include "tst_downloadmanager.moc"
