// glimmerpane-version-service: a local stand-in for the vendor's version service.
#include "tools/versionservice/requestlog.h"
#include "tools/versionservice/serviceoptions.h"
#include "tools/versionservice/versionservice.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("glimmerpane-version-service"));

    const std::optional<ServiceOptions> options = readServiceOptions(app);
    if (!options)
        return 2;

    RequestLog requestLog;
    if (!requestLog.open(options->requestLogPath)) {
        std::fprintf(stderr, "glimmerpane-version-service: cannot open the request log: %s\n",
                     qPrintable(requestLog.errorString()));
        return 1;
    }
    VersionService service(*options, &requestLog, nullptr);
    if (!service.start()) {
        std::fprintf(stderr, "glimmerpane-version-service: %s\n",
                     qPrintable(service.errorString()));
        return 1;
    }
    // Scripts and tests read the key for the updater, then wait for the port (port 0 picks a
    // free one).
    std::printf("public key %s\n", service.publicKeyBase64().constData());
    std::printf("listening on %s\n", qPrintable(service.origin().toString()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}
