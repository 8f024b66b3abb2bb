#include "download/downloadmanager.h"
#include "tests/support/testsupport.h"
#include "tools/httpsserver/localhttpsserver.h"

#include <QApplication>
#include <QDir>
#include <QSignalSpy>
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

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

// Every download runs against real loopback servers: a trusted HTTPS one, a plain HTTP one
// and an HTTPS one whose certificate nobody trusts.
class TestDownloadManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void memoryStaysFlat();
    void downloads_data();
    void downloads();
    void cancelThenRestart();

private:
    void serve(const HttpRequest &request, HttpResponse &response);
    QStringList folderEntries() const { return QDir(folder->path()).entryList(QDir::Files); }
    int openConnections() const
    {
        return server.connectionCount() + plainServer.connectionCount() +
               untrustedServer.connectionCount();
    }

    LocalHttpsServer server{LocalHttpsServer::Scheme::Https};
    LocalHttpsServer plainServer{LocalHttpsServer::Scheme::Http};
    LocalHttpsServer untrustedServer{LocalHttpsServer::Scheme::Https};
    std::unique_ptr<QTemporaryDir> folder;
    const QByteArray payload = HttpResponse::generatedBytes(0, 3 * 1024 * 1024 + 17);
    qint64 tempSizeAtRequest = -2; // of the one temporary file when the last request arrived
};

void TestDownloadManager::initTestCase()
{
    trustTestCa();
#ifdef Q_OS_LINUX
    std::signal(SIGXFSZ, SIG_IGN); // a write past the file size limit fails instead of killing
#endif
    QVERIFY(server.setCertificate(testDataPath("server.pem"), testDataPath("server.key")));
    QVERIFY(untrustedServer.setCertificate(testDataPath("untrusted.pem"),
                                           testDataPath("untrusted.key")));
    for (LocalHttpsServer *each : {&server, &plainServer, &untrustedServer}) {
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
    if (path == "/file" || path == "/chunked" || path == "/close") {
        response.setBody(payload);
        response.throttle(512 * 1024, 50); // long enough for progress reports on the way
        if (path == "/chunked")
            response.setFraming(HttpResponse::Framing::Chunked);
        if (path == "/close")
            response.setFraming(HttpResponse::Framing::CloseDelimited);
    } else if (path == "/moved") {
        response.redirect(server.url("/file"));
    } else if (path == "/to-http") {
        response.redirect(plainServer.url("/file"));
    } else if (path == "/endless") {
        response.setGeneratedBody(-1);
    } else if (path == "/drop") {
        response.setGeneratedBody(1024 * 1024);
        response.dropAfter(256 * 1024);
    } else if (path == "/stall") {
        response.setGeneratedBody(1024 * 1024);
        response.stallAfter(64 * 1024);
    } else if (path == "/big") {
        response.setGeneratedBody(256LL * 1024 * 1024);
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
    QTest::addColumn<QString>("target");    // below the folder
    QTest::addColumn<QString>("olderFile"); // left in the folder beforehand; empty for none
    QTest::addColumn<QString>("condition"); // "stall limit": short limits; "full disk": writes fail
    QTest::addColumn<bool>("succeeds");

    const QString setup = "setup.exe";
    const auto good = [&](const char *name, const char *path, const QString &target = "setup.exe",
                          const QString &older = QString()) {
        QTest::newRow(name) << server.url(path) << target << older << QString() << true;
    };
    good("with length", "/file");
    good("chunked", "/chunked");
    good("ended by closing", "/close");
    good("https to https redirect", "/moved");
    good("older installer replaced", "/file", setup, setup);
    good("leftover temporary file deleted", "/file", setup, setup + "_tmp");
    good("target containing _tmp", "/file", "a_tmp.exe");
    const auto bad = [&](const char *name, const QUrl &url, const QString &condition = {}) {
        QTest::newRow(name) << url << setup << QString() << condition << false;
    };
    bad("dropped connection", server.url("/drop"));
    bad("404", server.url("/missing"));
    bad("500", server.url("/fail"));
    bad("https to http redirect", server.url("/to-http"));
    bad("untrusted certificate", untrustedServer.url("/file"));
    bad("stalled past the time-out", server.url("/stall"), "stall limit");
    bad("write fails on a full disk", server.url("/file"), "full disk");
}

void TestDownloadManager::downloads()
{
    QFETCH(QUrl, url);
    QFETCH(QString, target);
    QFETCH(QString, olderFile);
    QFETCH(QString, condition);
    QFETCH(bool, succeeds);

    if (!olderFile.isEmpty()) {
        QFile older(folder->filePath(olderFile));
        QVERIFY(older.open(QIODevice::WriteOnly) && older.write(QByteArray(5000, 'x')) == 5000);
    }
    if (condition == "stall limit")
        qputenv("GLIMMERPANE_TIME_LIMIT_MS", "300");
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
    const int plainRequests = plainServer.requestCount();

    watched.manager.startDownload(url.toString(), folder->filePath(target));
    QTRY_COMPARE_WITH_TIMEOUT(watched.finished.count() + watched.error.count(), 1, 20000);
#ifdef Q_OS_LINUX
    setrlimit(RLIMIT_FSIZE, &original);
#endif
    QTRY_COMPARE(openConnections(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(plainServer.requestCount(), plainRequests);
    if (!succeeds) {
        QCOMPARE(watched.error.count(), 1);
        QCOMPARE(watched.finished.count(), 0);
        QCOMPARE(folderEntries(), QStringList());
        return;
    }
    QCOMPARE(watched.finished.first(), QVariantList{200});
    QCOMPARE(watched.error.count(), 0);
    QCOMPARE(tempSizeAtRequest, 0); // every download starts from an empty temporary file
    QCOMPARE(folderEntries(), QStringList{target});
    QVERIFY(readFile(folder->filePath(target)) == payload);
    QVERIFY(watched.progress.count() > 1);
    QCOMPARE(watched.progress.last(), (QVariantList{int(payload.size()), int(payload.size())}));
}

void TestDownloadManager::cancelThenRestart()
{
    WatchedManager watched;
    const QString target = folder->filePath("setup.exe");
    watched.manager.startDownload(server.url("/endless").toString(), target);
    QTRY_VERIFY(watched.progress.count() > 0 && QFileInfo(target + "_tmp").size() > 0);

    watched.manager.cancelTransfer();
    const qsizetype progressAtCancel = watched.progress.count();
    QTRY_COMPARE(openConnections(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(watched.progress.count(), progressAtCancel);
    QCOMPARE(watched.finished.count() + watched.error.count(), 0);
    QCOMPARE(folderEntries(), QStringList{"setup.exe_tmp"}); // the partial file stays

    watched.manager.startDownload(server.url("/file").toString(), target);
    QTRY_COMPARE(watched.finished.count(), 1);
    QCOMPARE(tempSizeAtRequest, 0);
    QVERIFY(readFile(target) == payload);
}

// Runs first, while the peak resident set is still that of the start-up.
void TestDownloadManager::memoryStaysFlat()
{
#ifndef Q_OS_LINUX
    QSKIP("reads the peak resident set through getrusage");
#else
    WatchedManager watched;
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    watched.manager.startDownload(server.url("/big").toString(), folder->filePath("big.exe"));
    QTRY_COMPARE_WITH_TIMEOUT(watched.finished.count(), 1, 100000);
    getrusage(RUSAGE_SELF, &after);
    const long growthMiB = (after.ru_maxrss - before.ru_maxrss) / 1024;
    QVERIFY2(growthMiB < 64, qPrintable(QStringLiteral("grew by %1 MiB").arg(growthMiB)));
#endif
}

UPDATER_TEST_MAIN(TestDownloadManager)
#include "tst_downloadmanager.moc"
