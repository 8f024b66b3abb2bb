#include "download/downloadmanager.h"
#include "tests/support/testsandbox.h"
#include "tools/httpsserver/localhttpsserver.h"

#include <QApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace {

constexpr qint64 bigDownloadBytes = 256LL * 1024 * 1024;

// A manager with spies on its three signals.
struct WatchedManager
{
    DownLoadManager manager;
    QSignalSpy error{&manager, &DownLoadManager::signalDownloadError};
    QSignalSpy finished{&manager, &DownLoadManager::signalReplyFinished};
    QSignalSpy progress{&manager, &DownLoadManager::signalDownloadProcess};
};

QString testData(const QString &name)
{
    return qEnvironmentVariable("GLIMMERPANE_TEST_DATA") + QLatin1Char('/') + name;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Peak resident set of this process, in KiB.
qint64 peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
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
    void completeDownload_data();
    void completeDownload();
    void cancelThenRestart();
    void failures_data();
    void failures();
    void missingTargetFolder();

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
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(testData(QStringLiteral("ca.pem")));
    QSslConfiguration::setDefaultConfiguration(tls);
    std::signal(SIGXFSZ, SIG_IGN); // a write past the file size limit fails instead of killing

    QVERIFY(server.setCertificate(testData("server.pem"), testData("server.key")));
    QVERIFY(untrustedServer.setCertificate(testData("untrusted.pem"), testData("untrusted.key")));
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
        response.setGeneratedBody(bigDownloadBytes);
    } else {
        response.setStatus(path == "/fail" ? 500 : 404);
        response.setBody("no installer here");
    }
}

void TestDownloadManager::init()
{
    DownLoadManager::setTransferTimeoutForTesting(DownLoadManager::defaultTransferTimeoutMs);
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    tempSizeAtRequest = -2;
}

void TestDownloadManager::completeDownload_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("lengthKnown");
    QTest::addColumn<QString>("targetName");
    QTest::addColumn<QString>("olderFile"); // left in the folder beforehand; empty for none
    const QString setup = QStringLiteral("setup.exe");
    QTest::newRow("with length") << "/file" << true << setup << QString();
    QTest::newRow("chunked") << "/chunked" << false << setup << QString();
    QTest::newRow("ended by closing") << "/close" << false << setup << QString();
    QTest::newRow("https to https redirect") << "/moved" << true << setup << QString();
    QTest::newRow("older installer replaced") << "/file" << true << setup << setup;
    QTest::newRow("leftover temporary file deleted") << "/file" << true << setup << setup + "_tmp";
    QTest::newRow("target containing _tmp") << "/file" << true << "a_tmp.exe" << QString();
}

void TestDownloadManager::completeDownload()
{
    QFETCH(QString, path);
    QFETCH(bool, lengthKnown);
    QFETCH(QString, targetName);
    QFETCH(QString, olderFile);
    if (!olderFile.isEmpty()) {
        QFile older(folder->filePath(olderFile));
        QVERIFY(older.open(QIODevice::WriteOnly));
        older.write(QByteArray(5000, 'x'));
    }
    WatchedManager watched;

    watched.manager.startDownload(server.url(path).toString(), folder->filePath(targetName));

    QTRY_COMPARE_WITH_TIMEOUT(watched.finished.count(), 1, 20000);
    QCOMPARE(watched.finished.first(), QVariantList{200});
    QCOMPARE(watched.error.count(), 0);
    QCOMPARE(tempSizeAtRequest, 0); // every download starts from an empty temporary file
    QCOMPARE(folderEntries(), QStringList{targetName});
    QVERIFY(readFile(folder->filePath(targetName)) == payload);
    const int size = int(payload.size());
    QVERIFY(watched.progress.count() > 1);
    for (qsizetype i = 0; i + 1 < watched.progress.count(); ++i)
        QCOMPARE(watched.progress.at(i).at(1).toInt(), lengthKnown ? size : -1);
    QCOMPARE(watched.progress.last(), (QVariantList{size, size}));
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
    QCOMPARE(watched.error.count(), 0);
    QCOMPARE(watched.progress.last().at(0).toInt(), payload.size());
    QVERIFY(readFile(target) == payload);
}

void TestDownloadManager::failures_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<int>("transferTimeoutMs");
    QTest::addColumn<bool>("writeFails");
    const int normal = DownLoadManager::defaultTransferTimeoutMs;
    QTest::newRow("dropped connection") << server.url("/drop") << normal << false;
    QTest::newRow("404") << server.url("/missing") << normal << false;
    QTest::newRow("500") << server.url("/fail") << normal << false;
    QTest::newRow("https to http redirect") << server.url("/to-http") << normal << false;
    QTest::newRow("untrusted certificate") << untrustedServer.url("/file") << normal << false;
    QTest::newRow("stalled past the time-out") << server.url("/stall") << 300 << false;
    QTest::newRow("write fails at the file size limit") << server.url("/file") << normal << true;
}

void TestDownloadManager::failures()
{
    QFETCH(QUrl, url);
    QFETCH(int, transferTimeoutMs);
    QFETCH(bool, writeFails);
    DownLoadManager::setTransferTimeoutForTesting(transferTimeoutMs);
    rlimit originalLimit{};
    getrlimit(RLIMIT_FSIZE, &originalLimit);
    const auto restoreLimit = qScopeGuard([&] { setrlimit(RLIMIT_FSIZE, &originalLimit); });
    const rlimit smallLimit{256 * 1024, originalLimit.rlim_max};
    if (writeFails)
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &smallLimit), 0);
    WatchedManager watched;
    const int plainRequests = plainServer.requestCount();

    watched.manager.startDownload(url.toString(), folder->filePath("setup.exe"));

    QTRY_COMPARE_WITH_TIMEOUT(watched.error.count(), 1, 20000);
    QTRY_COMPARE(openConnections(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(watched.error.count(), 1);
    QCOMPARE(watched.finished.count(), 0);
    QCOMPARE(folderEntries(), QStringList());
    QCOMPARE(plainServer.requestCount(), plainRequests);
}

void TestDownloadManager::missingTargetFolder()
{
    WatchedManager watched;
    const int requestsBefore = server.requestCount();

    watched.manager.startDownload(server.url("/file").toString(),
                                  folder->filePath("missing/setup.exe"));
    QVERIFY(watched.manager.networkManager()->findChildren<QNetworkReply *>().isEmpty());

    // A later good download is the only request the server ever sees.
    watched.manager.startDownload(server.url("/file").toString(), folder->filePath("setup.exe"));
    QTRY_COMPARE(watched.finished.count(), 1);
    QCOMPARE(server.requestCount(), requestsBefore + 1);
    QCOMPARE(watched.error.count(), 0);
}

// Runs first, while the peak resident set is still that of the start-up.
void TestDownloadManager::memoryStaysFlat()
{
    WatchedManager watched;
    const QString target = folder->filePath("big.exe");
    const qint64 peakBeforeKiB = peakResidentKiB();

    watched.manager.startDownload(server.url("/big").toString(), target);
    QTRY_COMPARE_WITH_TIMEOUT(watched.finished.count(), 1, 100000);

    const qint64 growthMiB = (peakResidentKiB() - peakBeforeKiB) / 1024;
    qInfo("peak grew by %lld MiB", growthMiB);
    QVERIFY2(growthMiB < 64, qPrintable(QStringLiteral("grew by %1 MiB").arg(growthMiB)));
    QCOMPARE(QFileInfo(target).size(), bigDownloadBytes);
}

UPDATER_TEST_MAIN(TestDownloadManager)
#include "tst_downloadmanager.moc"
