#include "download/downloadmanager.h"
#include "tests/support/testsandbox.h"
#include "tools/httpsserver/localhttpsserver.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <malloc.h>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

enum class WriteFault { None, DiskFull, FileSizeLimit };
Q_DECLARE_METATYPE(WriteFault)

// Every download runs against real loopback servers: a trusted HTTPS one, a plain HTTP one
// and an HTTPS one whose certificate nobody trusts.
class TestDownloadManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void completeDownload_data();
    void completeDownload();
    void filesAlreadyThere_data();
    void filesAlreadyThere();
    void cancelThenRestart();
    void failures_data();
    void failures();
    void missingTargetFolder();
    void progressCountsKeepLow32Bits_data();
    void progressCountsKeepLow32Bits();
    void memoryStaysFlat();

private:
    struct Spies
    {
        explicit Spies(DownLoadManager *manager)
            : error(manager, &DownLoadManager::signalDownloadError),
              finished(manager, &DownLoadManager::signalReplyFinished),
              progress(manager, &DownLoadManager::signalDownloadProcess)
        {}
        QSignalSpy error;
        QSignalSpy finished;
        QSignalSpy progress;
    };

    QStringList folderEntries() const { return QDir(folder->path()).entryList(QDir::Files); }
    bool allConnectionsClosed() const;

    std::unique_ptr<LocalHttpsServer> server;
    std::unique_ptr<LocalHttpsServer> plainServer;
    std::unique_ptr<LocalHttpsServer> untrustedServer;
    std::unique_ptr<QTemporaryDir> folder;
    QByteArray payload;
    QString watchedTempPath; // its size when a request arrives goes to tempSizeAtRequest
    qint64 tempSizeAtRequest = -2;
};

namespace {

constexpr qint64 bigDownloadBytes = 256LL * 1024 * 1024;

QString testData(const QString &name)
{
    return qEnvironmentVariable("GLIMMERPANE_TEST_DATA") + QLatin1Char('/') + name;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

qint64 procStatusKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// A private mount namespace keeps the tiny file system invisible to the rest of the machine
// and lets it vanish with this process.
bool mountTinyFileSystem(const QString &path)
{
    static const bool privateNamespace =
        unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return privateNamespace && QDir().mkpath(path) &&
           mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", 0, "size=64k") == 0;
}

} // namespace

bool TestDownloadManager::allConnectionsClosed() const
{
    return server->connectionCount() + plainServer->connectionCount() +
               untrustedServer->connectionCount() ==
           0;
}

void TestDownloadManager::initTestCase()
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(testData(QStringLiteral("ca.pem")));
    QSslConfiguration::setDefaultConfiguration(tls);
    std::signal(SIGXFSZ, SIG_IGN); // a write past the file size limit fails instead of killing

    payload.resize(3 * 1024 * 1024 + 17);
    for (char &byte : payload)
        byte = static_cast<char>(QRandomGenerator::global()->generate());

    server = std::make_unique<LocalHttpsServer>(LocalHttpsServer::Scheme::Https);
    plainServer = std::make_unique<LocalHttpsServer>(LocalHttpsServer::Scheme::Http);
    untrustedServer = std::make_unique<LocalHttpsServer>(LocalHttpsServer::Scheme::Https);
    QVERIFY(server->setCertificate(testData("server.pem"), testData("server.key")));
    QVERIFY(untrustedServer->setCertificate(testData("untrusted.pem"), testData("untrusted.key")));

    const auto handler = [this](const HttpRequest &request, HttpResponse &response) {
        tempSizeAtRequest =
            QFileInfo::exists(watchedTempPath) ? QFileInfo(watchedTempPath).size() : -1;
        const QString &path = request.path;
        if (path == "/file" || path == "/chunked" || path == "/close") {
            response.setBody(payload);
            response.throttle(512 * 1024, 50); // long enough for progress reports on the way
            if (path == "/chunked")
                response.setFraming(HttpResponse::Framing::Chunked);
            if (path == "/close")
                response.setFraming(HttpResponse::Framing::CloseDelimited);
        } else if (path == "/moved") {
            response.redirect(server->url("/file"));
        } else if (path == "/to-http") {
            response.redirect(plainServer->url("/file"));
        } else if (path == "/endless") {
            response.setGeneratedBody(-1);
        } else if (path == "/drop") {
            response.setGeneratedBody(1024 * 1024);
            response.dropAfter(256 * 1024);
        } else if (path == "/stall") {
            response.setGeneratedBody(1024 * 1024);
            response.stallAfter(64 * 1024);
        } else if (path == "/error") {
            response.setStatus(request.query.queryItemValue("code").toInt());
            response.setBody("no installer here");
        } else if (path == "/big") {
            response.setGeneratedBody(bigDownloadBytes);
        } else {
            response.setStatus(404);
        }
    };
    for (LocalHttpsServer *each : {server.get(), plainServer.get(), untrustedServer.get()}) {
        each->setHandler(handler);
        QVERIFY2(each->listen(), qPrintable(each->errorString()));
    }
}

void TestDownloadManager::init()
{
    DownLoadManager::setTransferTimeoutForTesting(DownLoadManager::defaultTransferTimeoutMs);
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    watchedTempPath.clear();
}

void TestDownloadManager::completeDownload_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("lengthKnown");
    QTest::newRow("with length") << "/file" << true;
    QTest::newRow("chunked") << "/chunked" << false;
    QTest::newRow("ended by closing") << "/close" << false;
    QTest::newRow("https to https redirect") << "/moved" << true;
}

void TestDownloadManager::completeDownload()
{
    QFETCH(QString, path);
    QFETCH(bool, lengthKnown);
    DownLoadManager manager;
    Spies spies(&manager);
    const QString target = folder->filePath("Glimmerpane109.exe");

    manager.startDownload(server->url(path).toString(), target);

    QTRY_COMPARE_WITH_TIMEOUT(spies.finished.count(), 1, 20000);
    QCOMPARE(spies.finished.first().first().toInt(), 200);
    QCOMPARE(spies.error.count(), 0);
    QCOMPARE(folderEntries(), QStringList{"Glimmerpane109.exe"});
    QVERIFY(readFile(target) == payload);

    const qint64 size = payload.size();
    QVERIFY(spies.progress.count() > 1);
    for (qsizetype i = 0; i + 1 < spies.progress.count(); ++i)
        QCOMPARE(spies.progress.at(i).at(1).toInt(), lengthKnown ? size : -1);
    QCOMPARE(spies.progress.last().at(0).toInt(), size);
    QCOMPARE(spies.progress.last().at(1).toInt(), size);
}

void TestDownloadManager::filesAlreadyThere_data()
{
    QTest::addColumn<QString>("targetName");
    QTest::addColumn<QString>("olderFile"); // name of a file left in the folder beforehand
    QTest::newRow("older installer replaced") << "setup.exe"
                                              << "setup.exe";
    QTest::newRow("leftover temporary file deleted") << "setup.exe"
                                                     << "setup.exe_tmp";
    QTest::newRow("target containing _tmp") << "a_tmp.exe"
                                            << "";
}

void TestDownloadManager::filesAlreadyThere()
{
    QFETCH(QString, targetName);
    QFETCH(QString, olderFile);
    if (!olderFile.isEmpty()) {
        QFile older(folder->filePath(olderFile));
        QVERIFY(older.open(QIODevice::WriteOnly));
        older.write(QByteArray(5000, 'x'));
    }
    DownLoadManager manager;
    Spies spies(&manager);
    watchedTempPath = folder->filePath(targetName + "_tmp");

    manager.startDownload(server->url("/file").toString(), folder->filePath(targetName));

    QTRY_COMPARE(spies.finished.count(), 1);
    QCOMPARE(tempSizeAtRequest, 0); // the download starts from an empty temporary file
    QCOMPARE(folderEntries(), QStringList{targetName});
    QVERIFY(readFile(folder->filePath(targetName)) == payload);
}

void TestDownloadManager::cancelThenRestart()
{
    DownLoadManager manager;
    Spies spies(&manager);
    const QString target = folder->filePath("setup.exe");
    manager.startDownload(server->url("/endless").toString(), target);
    QTRY_VERIFY(spies.progress.count() > 0 && QFileInfo(target + "_tmp").size() > 0);

    manager.cancelTransfer();
    const qsizetype progressAtCancel = spies.progress.count();
    QTRY_VERIFY(allConnectionsClosed());
    QCoreApplication::processEvents();
    QCOMPARE(spies.progress.count(), progressAtCancel);
    QCOMPARE(spies.finished.count(), 0);
    QCOMPARE(spies.error.count(), 0);
    QCOMPARE(folderEntries(), QStringList{"setup.exe_tmp"}); // the partial file stays

    spies.progress.clear();
    manager.startDownload(server->url("/file").toString(), target);
    QTRY_COMPARE(spies.finished.count(), 1);
    QCOMPARE(spies.error.count(), 0);
    QVERIFY(spies.progress.count() > 0);
    QCOMPARE(spies.progress.last().at(0).toInt(), payload.size());
    QCOMPARE(folderEntries(), QStringList{"setup.exe"});
    QVERIFY(readFile(target) == payload);
}

void TestDownloadManager::failures_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<int>("transferTimeoutMs");
    QTest::addColumn<WriteFault>("writeFault");
    const int normal = DownLoadManager::defaultTransferTimeoutMs;
    QTest::newRow("dropped connection") << server->url("/drop") << normal << WriteFault::None;
    QTest::newRow("404") << server->url("/error?code=404") << normal << WriteFault::None;
    QTest::newRow("500") << server->url("/error?code=500") << normal << WriteFault::None;
    QTest::newRow("https to http redirect")
        << server->url("/to-http") << normal << WriteFault::None;
    QTest::newRow("untrusted certificate")
        << untrustedServer->url("/file") << normal << WriteFault::None;
    QTest::newRow("stalled past the time-out") << server->url("/stall") << 300 << WriteFault::None;
    QTest::newRow("disk full") << server->url("/file") << normal << WriteFault::DiskFull;
    QTest::newRow("file size limit") << server->url("/file") << normal << WriteFault::FileSizeLimit;
}

void TestDownloadManager::failures()
{
    QFETCH(QUrl, url);
    QFETCH(int, transferTimeoutMs);
    QFETCH(WriteFault, writeFault);
    DownLoadManager::setTransferTimeoutForTesting(transferTimeoutMs);
    QString targetFolder = folder->path();
    rlimit originalLimit{};
    getrlimit(RLIMIT_FSIZE, &originalLimit);
    auto undoFault = qScopeGuard([&] {
        if (writeFault == WriteFault::DiskFull)
            umount2(QFile::encodeName(targetFolder).constData(), MNT_DETACH);
        setrlimit(RLIMIT_FSIZE, &originalLimit);
    });
    if (writeFault == WriteFault::DiskFull) {
        targetFolder = folder->filePath("tiny");
        if (!mountTinyFileSystem(targetFolder))
            QSKIP("cannot mount a small tmpfs here (needs root with CAP_SYS_ADMIN)");
    } else if (writeFault == WriteFault::FileSizeLimit) {
        const rlimit small{256 * 1024, originalLimit.rlim_max};
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    DownLoadManager manager;
    Spies spies(&manager);
    const int plainRequests = plainServer->requestCount();

    manager.startDownload(url.toString(), targetFolder + "/setup.exe");

    QTRY_COMPARE_WITH_TIMEOUT(spies.error.count(), 1, 20000);
    QTRY_VERIFY(allConnectionsClosed());
    QCoreApplication::processEvents();
    QCOMPARE(spies.error.count(), 1);
    QCOMPARE(spies.finished.count(), 0);
    QCOMPARE(QDir(targetFolder).entryList(QDir::Files), QStringList());
    QCOMPARE(plainServer->requestCount(), plainRequests);
}

void TestDownloadManager::missingTargetFolder()
{
    DownLoadManager manager;
    Spies spies(&manager);
    const int requestsBefore = server->requestCount();

    manager.startDownload(server->url("/file").toString(), folder->filePath("missing/setup.exe"));
    QVERIFY(manager.networkManager()->findChildren<QNetworkReply *>().isEmpty());

    // A later good download is the only request the server ever sees.
    manager.startDownload(server->url("/file").toString(), folder->filePath("setup.exe"));
    QTRY_COMPARE(spies.finished.count(), 1);
    QCOMPARE(server->requestCount(), requestsBefore + 1);
    QCOMPARE(spies.error.count(), 0);
}

void TestDownloadManager::progressCountsKeepLow32Bits_data()
{
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("reportedReceived");
    QTest::addColumn<int>("reportedTotal");
    QTest::newRow("below 2 GiB") << qint64(1000) << qint64(2000) << 1000 << 2000;
    QTest::newRow("2 GiB, unknown total") << (qint64(1) << 31) << qint64(-1) << INT_MIN << -1;
    QTest::newRow("above 4 GiB") << (qint64(1) << 32) + 5 << (qint64(1) << 32) + 9 << 5 << 9;
}

void TestDownloadManager::progressCountsKeepLow32Bits()
{
    QFETCH(qint64, received);
    QFETCH(qint64, total);
    QFETCH(int, reportedReceived);
    QFETCH(int, reportedTotal);
    DownLoadManager manager;
    Spies spies(&manager);
    manager.onDownloadProgress(received, total);
    QCOMPARE(spies.progress.count(), 1);
    QCOMPARE(spies.progress.first().at(0).toInt(), reportedReceived);
    QCOMPARE(spies.progress.first().at(1).toInt(), reportedTotal);
}

void TestDownloadManager::memoryStaysFlat()
{
    DownLoadManager manager;
    Spies spies(&manager);
    const QString target = folder->filePath("big.exe");
    malloc_trim(0); // free heap left by earlier tests would hide the growth
    {
        QFile resetPeak(QStringLiteral("/proc/self/clear_refs"));
        if (resetPeak.open(QIODevice::WriteOnly))
            resetPeak.write("5"); // the peak below then belongs to this download alone
    }
    const qint64 residentBeforeKiB = procStatusKiB("VmRSS");

    manager.startDownload(server->url("/big").toString(), target);
    QTRY_COMPARE_WITH_TIMEOUT(spies.finished.count(), 1, 100000);

    const qint64 growthMiB = (procStatusKiB("VmHWM") - residentBeforeKiB) / 1024;
    qInfo("resident set grew by %lld MiB while downloading 256 MiB", growthMiB);
    QVERIFY2(growthMiB < 64, qPrintable(QString::number(growthMiB)));
    QCOMPARE(QFileInfo(target).size(), bigDownloadBytes);
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    for (qint64 offset = 0; offset < bigDownloadBytes; offset += 1024 * 1024)
        QVERIFY(file.read(1024 * 1024) == HttpResponse::generatedBytes(offset, 1024 * 1024));
}

UPDATER_TEST_MAIN(TestDownloadManager)
#include "tst_downloadmanager.moc"
