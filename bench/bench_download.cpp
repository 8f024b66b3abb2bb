// Downloads one large file over loopback HTTPS with DownLoadManager and with curl, from the
// same local server in the same run, and prints both rates.
//   bench_download [size in MiB, default 1024]
#include "download/downloadmanager.h"
#include "tools/httpsserver/localhttpsserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

const QString dataDir = QStringLiteral(GLIMMERPANE_TEST_DATA_DIR);

double mibPerSecond(qint64 bytes, qint64 ms)
{
    return ms > 0 ? bytes / (1024.0 * 1024.0) / (ms / 1000.0) : 0.0;
}

// Milliseconds for DownLoadManager to fetch `url` into `target`, or -1 on failure.
qint64 timeDownLoadManager(const QUrl &url, const QString &target)
{
    DownLoadManager manager;
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&manager, &DownLoadManager::signalReplyFinished, &loop, [&](int status) {
        ok = status == 200;
        loop.quit();
    });
    QObject::connect(&manager, &DownLoadManager::signalDownloadError, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    manager.startDownload(url.toString(), target);
    loop.exec();
    return ok ? timer.elapsed() : -1;
}

qint64 timeCurl(const QUrl &url, const QString &target)
{
    QProcess curl;
    QEventLoop loop;
    QObject::connect(&curl, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&curl, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("curl"), {"--silent", "--show-error", "--fail", "--cacert",
                                        dataDir + "/ca.pem", "--output", target, url.toString()});
    loop.exec();
    const bool ok = curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0;
    if (!ok)
        std::fprintf(stderr, "curl failed: %s\n", curl.readAllStandardError().constData());
    return ok ? timer.elapsed() : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 sizeMiB = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    const qint64 size = sizeMiB * 1024 * 1024;

    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(dataDir + "/ca.pem");
    QSslConfiguration::setDefaultConfiguration(tls);

    QTemporaryDir work;
    QFile source(work.filePath("source.bin"));
    if (!work.isValid() || !source.open(QIODevice::WriteOnly) || !source.resize(size)) {
        std::fprintf(stderr, "cannot create the %lld MiB source file\n", sizeMiB);
        return 1;
    }
    source.close(); // sparse: it takes no disk space and reads as zeros

    // The server gets a thread of its own, so neither client shares one with it.
    QThread serverThread;
    auto *server = new LocalHttpsServer(LocalHttpsServer::Scheme::Https);
    server->setHandler([&](const HttpRequest &, HttpResponse &response) {
        response.setBodyFile(source.fileName());
    });
    bool listening = server->setCertificate(dataDir + "/server.pem", dataDir + "/server.key");
    server->moveToThread(&serverThread);
    QObject::connect(&serverThread, &QThread::finished, server, &QObject::deleteLater);
    serverThread.start();
    QMetaObject::invokeMethod(
        server, [&] { listening = listening && server->listen(); }, Qt::BlockingQueuedConnection);
    if (!listening) {
        std::fprintf(stderr, "cannot start the server: %s\n", qPrintable(server->errorString()));
        serverThread.quit();
        serverThread.wait();
        return 1;
    }
    const QUrl url = server->url(QStringLiteral("/installer.exe"));

    const QString target = work.filePath("downloaded.exe");
    const qint64 managerMs = timeDownLoadManager(url, target);
    const bool managerComplete = QFileInfo(target).size() == size;
    QFile::remove(target);
    const qint64 curlMs = timeCurl(url, target);
    const bool curlComplete = QFileInfo(target).size() == size;
    QFile::remove(target);
    serverThread.quit();
    serverThread.wait();

    if (managerMs < 0 || curlMs < 0 || !managerComplete || !curlComplete) {
        std::fprintf(stderr, "a download failed or came out short\n");
        return 1;
    }
    std::printf("%lld MiB over loopback HTTPS, written to disk\n", sizeMiB);
    std::printf("DownLoadManager: %6lld ms  %7.1f MiB/s\n", managerMs,
                mibPerSecond(size, managerMs));
    std::printf("curl:            %6lld ms  %7.1f MiB/s\n", curlMs, mibPerSecond(size, curlMs));
    return 0;
}
