// Downloads one URL with the product's DownLoadManager (as the window does: the product's
// network set-up, a receiver of every progress signal, the file written to disk), or with a bare
// QNetworkAccessManager that reads and discards the bytes (Qt's own ceiling). Prints key=value
// lines for scripts/bench:
//
//   bench_download_driver manager URL TARGET [OPTIONS]   DownLoadManager into TARGET
//   bench_download_driver bare URL [OPTIONS]             QNetworkAccessManager, bytes discarded
//
// Options of the manager, for a signed download (the digest taken as the bytes come, the
// signature checked before the request; GLIMMERPANE_UPDATE_PUBLIC_KEY names the key):
//   --size BYTES --sha256 HEX --signature BASE64 --version VERSION
//
// Options of the bare reader, to take DownLoadManager's costs apart one at a time:
//   --cap BYTES      QNetworkReply::setReadBufferSize (DownLoadManager: 2 MiB)
//   --timeout MS     QNetworkRequest::setTransferTimeout (what DownLoadManager used before its
//                    own stall watchdog; kept to measure what it cost)
//   --file PATH      write the bytes to PATH instead of discarding them
//   --flush          flush the file after every write (DownLoadManager does)
//   --readall        take the bytes with readAll() (as DownLoadManager does), not read()
//
// Before the clock starts, a HEAD request to the URL's origin through another access manager
// loads the TLS back end and the trusted certificates, as the window's version check has done
// before anyone can click "Download Update".
//
//   bytes, wall_ms (request to finished signal), user_ms, sys_ms (CPU of this process during
//   the transfer), rss_idle_kib (just before the request), rss_peak_kib (peak during it),
//   progress_signals, ready_reads (bare: readyRead signals taken), first_byte_ms (manager: from
//   startDownload, which the click calls, to the first byte written to the file), status (HTTP
//   status, or -1 for a failure).
//
// The extra CA of the server comes from GLIMMERPANE_EXTRA_CA_CERTS, as for the product.
#include "update/downloadmanager.h"
#include "update/networksetup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace {

struct Usage
{
    double userMs = 0;
    double sysMs = 0;
};

Usage cpuNow()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) {
        return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
    };
    return {ms(usage.ru_utime), ms(usage.ru_stime)};
}

long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Sets the peak resident set (VmHWM) back to the current one.
void resetPeakResident()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

int usage()
{
    std::fprintf(stderr, "usage: bench_download_driver manager URL TARGET [--size BYTES "
                         "--sha256 HEX --signature BASE64 --version VERSION]\n"
                         "       bench_download_driver bare URL [--cap BYTES] [--timeout MS] "
                         "[--file PATH] [--flush] [--readall]\n");
    return 2;
}

// What the window's version check leaves behind: Qt's TLS back end loaded, the trusted
// certificates read. The connection itself is not kept (another access manager).
void warmUp(const QUrl &url)
{
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.head(QNetworkRequest(url));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    delete reply;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool manager = argc >= 4 && std::strcmp(argv[1], "manager") == 0;
    const bool bare = argc >= 3 && std::strcmp(argv[1], "bare") == 0;
    if (!manager && !bare)
        return usage();
    qint64 cap = 0;
    int timeoutMs = 0;
    bool flush = false;
    bool readAll = false;
    QFile output;
    InstallerExpectation expectation;
    for (int i = manager ? 4 : 3; i < argc; ++i) {
        const QByteArray option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (manager && option == "--size" && hasValue)
            expectation.size = QByteArray(argv[++i]).toLongLong();
        else if (manager && option == "--sha256" && hasValue)
            expectation.sha256 = QByteArray::fromHex(argv[++i]);
        else if (manager && option == "--signature" && hasValue)
            expectation.signature = QByteArray::fromBase64(argv[++i]);
        else if (manager && option == "--version" && hasValue) // dotted, as it is signed
            expectation.versionText = QString::fromLatin1(argv[++i]);
        else if (manager)
            return usage();
        else if (option == "--cap" && hasValue)
            cap = QByteArray(argv[++i]).toLongLong();
        else if (option == "--timeout" && hasValue)
            timeoutMs = QByteArray(argv[++i]).toInt();
        else if (option == "--file" && hasValue)
            output.setFileName(QString::fromLocal8Bit(argv[++i]));
        else if (option == "--flush")
            flush = true;
        else if (option == "--readall")
            readAll = true;
        else
            return usage();
    }
    if (!output.fileName().isEmpty() && !output.open(QIODevice::WriteOnly | QIODevice::Append))
        return usage();
    const QString url = QString::fromLocal8Bit(argv[2]);
    setUpNetwork();
    warmUp(QUrl(url));

    int status = -1;
    qint64 bytes = 0;
    long progressSignals = 0;
    long readyReads = 0;
    qint64 firstByteMs = -1;
    bool ended = false;
    QMetaObject::Connection firstByteWatch;
    volatile int shownPercent = 0; // what the window's progress bar would show

    DownLoadManager downloads;
    QNetworkAccessManager bareManager;
    QByteArray sink(1024 * 1024, Qt::Uninitialized);

    const long idleKiB = statusKiB("VmRSS");
    resetPeakResident();
    const Usage before = cpuNow();
    QElapsedTimer timer;
    timer.start();

    if (manager) {
        QObject::connect(&downloads, &DownLoadManager::signalDownloadProcess, &app,
                         [&](qint64 received, qint64 total) {
                             ++progressSignals;
                             if (total > 0)
                                 shownPercent = int(float(received) / float(total) * 100.0f);
                         });
        QObject::connect(&downloads, &DownLoadManager::signalReplyFinished, &app, [&](int code) {
            status = code;
            ended = true;
            QCoreApplication::quit();
        });
        QObject::connect(&downloads, &DownLoadManager::signalDownloadError, &app, [&] {
            status = -1;
            ended = true;
            QCoreApplication::quit();
        });
        const QString target = QString::fromLocal8Bit(argv[3]);
        downloads.startDownload(url, target, expectation);
        // The reply is the access manager's child. Connected after DownLoadManager, this runs
        // once its own onReadyRead has written the chunk, and only until the first byte is there.
        if (QNetworkReply *reply = downloads.networkManager()->findChild<QNetworkReply *>()) {
            firstByteWatch = QObject::connect(reply, &QIODevice::readyRead, &app, [&, target] {
                if (QFileInfo(target + QStringLiteral("_tmp")).size() <= 0)
                    return;
                firstByteMs = timer.elapsed();
                QObject::disconnect(firstByteWatch);
            });
        }
    } else {
        QNetworkRequest request{QUrl(url)};
        if (timeoutMs > 0)
            request.setTransferTimeout(timeoutMs);
        QNetworkReply *reply = bareManager.get(request);
        if (cap > 0)
            reply->setReadBufferSize(cap);
        QObject::connect(reply, &QNetworkReply::downloadProgress, &app,
                         [&](qint64, qint64) { ++progressSignals; });
        QObject::connect(reply, &QIODevice::readyRead, &app, [&, reply] {
            ++readyReads;
            const auto take = [&](const char *data, qint64 count) {
                bytes += count;
                if (output.isOpen() &&
                    (output.write(data, count) != count || (flush && !output.flush())))
                    reply->abort();
            };
            if (readAll) {
                const QByteArray data = reply->readAll();
                take(data.constData(), data.size());
                return;
            }
            qint64 count = 0;
            while ((count = reply->read(sink.data(), sink.size())) > 0)
                take(sink.constData(), count);
        });
        QObject::connect(reply, &QNetworkReply::finished, &app, [&, reply] {
            status = reply->error() == QNetworkReply::NoError
                         ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()
                         : -1;
            QCoreApplication::quit();
        });
    }
    // A download refused before any request (a bad signature) has ended already.
    if (!ended)
        QCoreApplication::exec();

    const qint64 wallMs = timer.elapsed();
    const Usage after = cpuNow();
    if (manager)
        bytes = QFileInfo(QString::fromLocal8Bit(argv[3])).size();
    std::printf("bytes=%lld\nwall_ms=%lld\nuser_ms=%.1f\nsys_ms=%.1f\nrss_idle_kib=%ld\n"
                "rss_peak_kib=%ld\nprogress_signals=%ld\nready_reads=%ld\nfirst_byte_ms=%lld\n"
                "status=%d\n",
                bytes, wallMs, after.userMs - before.userMs, after.sysMs - before.sysMs, idleKiB,
                statusKiB("VmHWM"), progressSignals, readyReads, firstByteMs, status);
    return status == 200 ? 0 : 1;
}
