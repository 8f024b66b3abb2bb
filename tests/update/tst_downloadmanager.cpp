#include "core/updatelog.h"
#include "fixtures/httpsserver/localhttpsserver.h"
#include "tests/support/testsupport.h"
#include "tools/signing/installersigner.h"
#include "update/downloadmanager.h"
#include "update/partialdownload.h"
#include "core/releasestatement.h"
#include "update/retrypolicy.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

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
    void statementLayout();
    void retryAfter_data();
    void retryAfter();

private:
    void serve(const HttpRequest &request, HttpResponse &response);

    LocalHttpsServer server{LocalHttpsServer::Scheme::Https};
    LocalHttpsServer plainServer{LocalHttpsServer::Scheme::Http};
    InstallerExpectation signedPayload; // signed for version 109
    QByteArray signedFor107, publicKey;
    std::unique_ptr<QTemporaryDir> folder;
    const QByteArray payload = HttpResponse::generatedBytes(0, 3 * 1024 * 1024 + 17);
    QHash<QString, int> hits; // requests per path
    QStringList ranges;       // the Range headers received, "-" for none
    QByteArray entityTag = "\"1\"";
    const QDateTime retryNow = QDateTime::fromString("2026-12-08T10:00:00Z", Qt::ISODate);
};

void TestDownloadManager::initTestCase()
{
    trustTestCa();
    openUpdateLog();
    // The vendor's side: the signing tool's signatures for the payload.
    const QString payloadFile = testSandboxPath() + "/payload";
    QVERIFY(writeFileBytes(payloadFile, payload));
    const InstallerSigner vendor;
    QString error;
    const auto signature = [&](int version) { // the digits layout, for replies without "version"
        const auto members = vendor.integrityMembers(payloadFile, QString::number(version), &error,
                                                     InstallerSigner::Layout::Digits);
        return QByteArray::fromBase64(
            members.value_or(QJsonObject())["signature"].toString().toLatin1());
    };
    signedPayload = {109, payload.size(),
                     QCryptographicHash::hash(payload, QCryptographicHash::Sha256), signature(109),
                     QString()};
    signedFor107 = signature(107);
    QVERIFY2(signedPayload.signature.size() == 64 && signedFor107.size() == 64, qPrintable(error));
    publicKey = vendor.publicKeyBase64();
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
    const QString &path = request.path;
    const int hit = ++hits[path];
    ranges << request.headers.value("range", "-");
    if (path == "/busy" && hit <= 2) {
        response.setStatus(503);
        response.setHeader("Retry-After", "1");
    } else if (path == "/drop-then-404" && hit == 2) {
        response.setStatus(404);
    } else if (path == "/file" || path.startsWith("/chunked") || path == "/busy" ||
               path.startsWith("/drop-")) {
        response.setBody(path == "/chunked-short" ? payload.chopped(1000) : payload);
        response.setEntityTag(entityTag);
        if ((path == "/drop-once" || path == "/drop-then-404") && hit == 1)
            response.dropAfter(payload.size() * 2 / 5);
        if (path == "/drop-every")
            response.dropAfter(512 * 1024);
        response.throttle(512 * 1024, 50); // in many pieces, as over a real network
        if (path != "/file")
            response.setFraming(HttpResponse::Framing::Chunked);
    } else if (path == "/moved" || path == "/to-http") {
        response.redirect((path == "/moved" ? server : plainServer).url("/file"));
    } else if (path == "/drop" || path == "/stall" || path == "/trickle") {
        response.setGeneratedBody(1024 * 1024);
        if (path == "/drop")
            response.dropAfter(256 * 1024);
        else if (path == "/stall")
            response.stallAfter(64 * 1024);
        else
            response.throttle(1, 100);
    } else {
        response.setStatus(404);
    }
}

void TestDownloadManager::init()
{
    qputenv("GLIMMERPANE_TIME_LIMIT_MS", "2000"); // the back-off waits too
    hits.clear();
    ranges.clear();
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
}

void TestDownloadManager::downloads_data()
{
    QTest::addColumn<QString>("address"); // a path on the HTTPS server, or a whole address
    QTest::addColumn<InstallerExpectation>("expectation");
    // What stands in the folder beforehand ("old installer", "link", "folder:<name>"), the
    // target's name ("a_tmp.exe"), "stall limit", "late error": errorOccurred not
    // seen, "keys <the vendor keys' list>", a "symlink" or "hardlink" put at the temporary name
    // in the back-off, or "again": a second run after the first one failed
    QTest::addColumn<QString>("condition");
    // The log lines and the error string of a refusal, without "download retry <n>"; "-" for
    // success
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>(
        "rangeHeaders"); // their Range headers ("-": none); empty: not checked

    const InstallerExpectation none;
    const QString key = "keys " + publicKey, other = "keys " + InstallerSigner().publicKeyBase64();
    const auto row = [](const char *name, const QString &address, const QString &failure,
                        const InstallerExpectation &expectation = InstallerExpectation(),
                        const QString &condition = QString(),
                        const QString &rangeHeaders = QString()) {
        QTest::newRow(name) << address << expectation << condition << failure << rangeHeaders;
    };
    row("chunked", "/chunked", "-");
    // A redirect's own length and an error page's are not compared with the stated size.
    row("https to https redirect, size and digest stated", "/moved", "-", signedPayload);
    row("older installer replaced", "/file", "-", none, "old installer");
    row("dangling link at the temporary name", "/file", "-", none, "link");
    row("target containing _tmp", "/file", "-", none, "a_tmp.exe");
    row("signed by the second of two keys", "/file", "-", signedPayload, other + " , " + publicKey);

    const QString from = QStringLiteral("bytes=%1-").arg(payload.size() * 2 / 5);
    row("dropped at 40%, resumed from there", "/drop-once", "-", signedPayload, "", "-," + from);
    row("503 twice, then served", "/busy", "-", none, "", "-,-,-");
    row("dropped after every 512 KiB: each try goes on", "/drop-every", "-", signedPayload, "",
        "-,bytes=524288-,bytes=1048576-,bytes=1572864-,bytes=2097152-,bytes=2621440-,"
        "bytes=3145728-");
    row("404 after a drop: bytes kept, the next run goes on", "/drop-then-404?token=s3cret", "-",
        signedPayload, "again", "-," + from + "," + from);
    row("symbolic link put in during the back-off", "/drop-once", "-", signedPayload, "symlink",
        "-,-");
    row("hard link put in during the back-off", "/drop-once", "-", signedPayload, "hardlink",
        "-,-");
    row("kept partial whole: 416, all again", "/file", "-", signedPayload, "kept partial, whole",
        QStringLiteral("bytes=%1-,-").arg(payload.size()));
    row("tampered partial: nothing kept", "/file", "installer checksum mismatch", signedPayload,
        "kept partial, tampered", from);
    row("404, not retried", "/fail", "", none, "", "-");
    row("cancelled during the back-off", "/busy", "", none, "cancel in back-off", "-");
    InstallerExpectation huge = signedPayload;
    huge.size = qint64(1) << 52;
    row("not enough disk space", "/file", "not enough disk space", huge);
    row("dropped connection, every time", "/drop", ""); // Qt itself resends some
    row("error seen only at the finish", "/fail", "", none, "late error");
    row("server error, size stated", "/fail", "", signedPayload);
    row("https to http redirect", "/to-http", "");
    row("stalled past the time-out", "/stall", "download stalled", none, "stall limit");
    row("trickling under 1 KiB/s", "/trickle", "download stalled", none, "stall limit");
    row("file: address", "file:" GLIMMERPANE_DEMO_INSTALLER_BIN, "invalid update address");
    row("temporary name taken by a folder", "/file", "open temporary file failed", none,
        "folder:setup.exe_tmp");
    row("installer name taken by a folder", "/file", "remove old installer failed", none,
        "folder:setup.exe");
    InstallerExpectation tampered = signedPayload, longer = signedPayload, shorter = signedPayload;
    tampered.sha256 = QCryptographicHash::hash(payload + "x", QCryptographicHash::Sha256);
    longer.size += 1;
    shorter.size -= 1000;
    row("tampered, same size", "/file", "installer checksum mismatch", tampered);
    row("Content-Length other than stated", "/file", "installer size mismatch", longer);
    row("truncated, no length", "/chunked-short", "installer size mismatch", signedPayload);
    row("longer than stated", "/chunked", "installer size mismatch", shorter);
    InstallerExpectation badSignature = signedPayload, unsigned_ = signedPayload,
                         relabelled = signedPayload;
    badSignature.signature[10] = char(badSignature.signature[10] ^ 1);
    unsigned_.signature.clear();
    relabelled.signature = signedFor107;
    const QString invalid = "installer signature invalid";
    row("bad signature", "/file", invalid, badSignature, key);
    row("key list with a malformed entry", "/file", invalid, signedPayload, key + ",@@");
    row("signed for 107, offered as 109", "/file", invalid, relabelled, key);
    row("key built in, no signature", "/file", invalid, unsigned_, key);
}

void TestDownloadManager::downloads()
{
    QFETCH(QString, address);
    QFETCH(InstallerExpectation, expectation);
    QFETCH(QString, condition);
    QFETCH(QString, failure);
    QFETCH(QString, rangeHeaders);

    const QString target = condition == "a_tmp.exe" ? condition : "setup.exe";
    const QString outside = folder->filePath("../outside-" + QFileInfo(folder->path()).fileName());
    const QString temporary = folder->filePath(target + "_tmp");
    if (condition == "link")
        QVERIFY(QFile::link(outside, temporary));
    if (condition == "hardlink")
        QVERIFY(writeFileBytes(outside, "victim"));
    else if (condition.startsWith("folder:"))
        QVERIFY(QDir(folder->path()).mkpath(condition.mid(7) + "/inside"));
    else if (condition == "old installer")
        QVERIFY(writeFileBytes(folder->filePath(target), QByteArray(5000, 'x')));
    if (condition.startsWith("kept partial")) {
        QByteArray kept =
            payload.left(condition.endsWith("whole") ? payload.size() : payload.size() * 2 / 5);
        kept[100] = char(kept[100] ^ int(condition.endsWith("tampered")));
        QVERIFY(writeFileBytes(folder->filePath(target + "_tmp"), kept));
        QVERIFY((PartialDownload{server.url(address).toString(), expectation.size,
                                 expectation.sha256, entityTag})
                    .write(folder->filePath(target + "_tmp.part")));
    }
    if (condition == "stall limit")
        qputenv("GLIMMERPANE_TIME_LIMIT_MS", "300");
    if (condition.startsWith("keys "))
        qputenv("GLIMMERPANE_UPDATE_PUBLIC_KEY", condition.mid(5).toLatin1());
    DownLoadManager manager;
    QSignalSpy error(&manager, &DownLoadManager::signalDownloadError);
    QSignalSpy finished(&manager, &DownLoadManager::signalReplyFinished);
    const int requests = server.requestCount();
    const int logSize = updateLogText().size();

    const QUrl url = address.startsWith('/') ? server.url(address) : QUrl(address);
    manager.startDownload(url.toString(), folder->filePath(target), expectation);
    if (condition == "late error")
        QVERIFY(QObject::disconnect(manager.networkManager()->findChild<QNetworkReply *>(),
                                    &QNetworkReply::errorOccurred, nullptr, nullptr));
    if (condition == "cancel in back-off") {
        QTRY_VERIFY(updateLogText().mid(logSize).contains(" - download retry 1\n"));
        manager.cancelTransfer();
        for (const QTimer *timer : manager.findChildren<QTimer *>())
            QVERIFY(!timer->isActive()); // no further request will be sent
        QCOMPARE(finished.count() + error.count(), 0);
        QCOMPARE(ranges, QStringList{"-"});
        return;
    }
    if (condition == "symlink" || condition == "hardlink") {
        QTRY_VERIFY(updateLogText().mid(logSize).contains(" - download retry 1\n"));
        QVERIFY(QFile::remove(temporary));
#ifdef Q_OS_LINUX
        QVERIFY(condition == "symlink" ? QFile::link(outside, temporary)
                                       : ::link(qPrintable(outside), qPrintable(temporary)) == 0);
#else
        QSKIP("links are made here with POSIX calls");
#endif
    }
    if (condition == "again") {
        QTRY_COMPARE_WITH_TIMEOUT(error.count(), 1, 20000);
        QCOMPARE(QDir(folder->path()).entryList(QDir::Files),
                 QStringList({target + "_tmp", target + "_tmp.part"}));
        QCOMPARE(QFile::permissions(temporary + ".part") & 0x0077, 0); // nothing for others
        QVERIFY(!readFileBytes(temporary + ".part").contains("s3cret"));
        error.clear();
        manager.startDownload(url.toString(), folder->filePath(target), expectation);
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished.count() + error.count(), 1, 20000);
    qunsetenv("GLIMMERPANE_UPDATE_PUBLIC_KEY");
    QTRY_COMPARE(server.connectionCount() + plainServer.connectionCount(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(plainServer.requestCount(), 0); // never downgraded to plain HTTP
    QCOMPARE(readFileBytes(outside), condition == "hardlink" ? "victim" : "");
    QFile::remove(outside);
    const bool succeeds = failure == "-";
    QCOMPARE(error.count(), succeeds ? 0 : 1);
    QCOMPARE(finished.count(), succeeds ? 1 : 0);
    QCOMPARE(QDir(folder->path()).entryList(QDir::Files),
             succeeds ? QStringList{target} : QStringList());
    QStringList logged;
    for (const QString &line : updateLogText().mid(logSize).split('\n', Qt::SkipEmptyParts))
        logged << line.section(" - ", 1);
    const qsizetype retries =
        logged.removeIf([](const QString &line) { return line.startsWith("download retry "); });
    logged.removeDuplicates(); // a stall logged at each try
    // A network fault's reason is the controller's to log.
    if (!succeeds && error.first().first().value<DownLoadManager::Error>() !=
                         DownLoadManager::Error::NetworkError)
        logged << manager.errorString();
    QCOMPARE(logged.join("; "), succeeds ? "" : failure);
    if (!rangeHeaders.isEmpty()) {
        QCOMPARE(ranges.join(','), rangeHeaders);
        QCOMPARE(int(retries), hits.value(address.section('?', 0, 0)) - 1 -
                                   int(condition.endsWith("whole")) -
                                   int(condition == "again")); // 416
    }
    // Nothing is fetched for an address or a signature that is refused, nor without room for it.
    if (failure.contains("invalid") || failure.contains("disk"))
        QCOMPARE(server.requestCount(), requests);
    if (!succeeds)
        return;
    // 206 when it went on from the kept bytes.
    const bool resumed = ranges.constLast() != "-";
    QCOMPARE(finished.first(), QVariantList{resumed ? 206 : 200});
    QVERIFY(readFileBytes(folder->filePath(target)) == payload);
}

// Signing and checking share the code, so only this shows a change of the signed bytes, which
// would void every release already signed.
void TestDownloadManager::statementLayout()
{
    const QByteArray digest(32, '\xab'), tail = "\n3\n" + digest.toHex() + '\n';
    QCOMPARE(digitsReleaseStatement(109, 3, digest),
             "glimmerpane-release-statement-1\nGlimmerpane\nWindows\n109" + tail);
    QCOMPARE(releaseStatement(QStringLiteral("1.0.10"), 3, digest),
             "glimmerpane-release-statement-2\nGlimmerpane\nWindows\n1.0.10" + tail);
}

UPDATER_TEST_MAIN(TestDownloadManager)
void TestDownloadManager::retryAfter_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("waitMs"); // before the first retry, whose default is 1000

    const auto httpDate = [](const QDateTime &when) {
        return QLocale::c().toString(when, "ddd, dd MMM yyyy HH:mm:ss 'GMT'").toLatin1();
    };
    const QByteArray inThree = httpDate(retryNow.addSecs(3));
    QTest::newRow("seconds") << QByteArray(" 7 ") << 7000;
    QTest::newRow("seconds past the cap") << QByteArray("61") << 60000;
    QTest::newRow("date 3 s ahead") << inThree << 3000;
    QTest::newRow("rfc850-date, 2 s ahead")
        << QByteArray("Tuesday, 08-Dec-26 10:00:02 GMT") << 2000;
    QTest::newRow("asctime-date, 5 s ahead") << QByteArray("Tue Dec  8 10:00:05 2026") << 5000;
    QTest::newRow("date gone by") << httpDate(retryNow.addSecs(-30)) << 0;
    QTest::newRow("negative") << QByteArray("-100") << 1000;
    QTest::newRow("overflowing") << QByteArray("99999999999999999999") << 1000;
    QTest::newRow("date without GMT") << inThree.chopped(4) << 1000;
    QTest::newRow("date with a numeric zone")
        << QByteArray(inThree).replace("GMT", "+0000") << 1000;
    QTest::newRow("no such day") << QByteArray("Mon, 31 Nov 2026 10:00:03 GMT") << 1000;
}

void TestDownloadManager::retryAfter()
{
    QFETCH(QByteArray, header);
    QFETCH(int, waitMs);
    QCOMPARE(RetryPolicy::waitMs(1, header, retryNow), waitMs);
}

#include "tst_downloadmanager.moc"
