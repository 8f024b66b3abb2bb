#pragma once

#include <QString>

#include <optional>

class QCoreApplication;

// How the version service answers: what it offers and how it misbehaves on purpose.
struct ServiceOptions
{
    enum class Fault {
        None,
        Stall,          // the head of the version reply, then silence on an open connection
        EndlessBody,    // a version reply body that never ends (160 KiB/s)
        InvalidJson,    // a cut-off JSON document
        WrongInstaller, // other bytes than the reply announces, of the same length
        ChangingEtag,   // the installer's ETag changes with every request
    };

    quint16 port = 20410;
    QString latestVersion = QStringLiteral("109");
    QString releaseNotesPath;
    QString installerPath;
    QString certificatePath;
    QString keyPath;
    Fault fault = Fault::None;
    int code = 200;
    qint64 throttleBytesPerSecond = 0; // 0: the installer goes out at full speed
    QString requestLogPath;            // empty: standard output
    bool statesIntegrity = true;       // "size", "sha256", "signature" in the reply
    qint64 dropAfterBytes = -1;        // the first installer response is cut off after that
};

// Reads the command line; handles --help itself. Prints the problem and returns nothing when
// an option is missing or malformed.
std::optional<ServiceOptions> readServiceOptions(const QCoreApplication &app);
