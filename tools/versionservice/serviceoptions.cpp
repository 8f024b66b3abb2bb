#include "tools/versionservice/serviceoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

std::optional<ServiceOptions::Fault> faultNamed(const QString &name)
{
    if (name == QLatin1String("none"))
        return ServiceOptions::Fault::None;
    if (name == QLatin1String("stall"))
        return ServiceOptions::Fault::Stall;
    if (name == QLatin1String("endless-body"))
        return ServiceOptions::Fault::EndlessBody;
    if (name == QLatin1String("invalid-json"))
        return ServiceOptions::Fault::InvalidJson;
    if (name == QLatin1String("wrong-installer"))
        return ServiceOptions::Fault::WrongInstaller;
    if (name == QLatin1String("changing-etag"))
        return ServiceOptions::Fault::ChangingEtag;
    return std::nullopt;
}

std::nullopt_t complain(const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(message));
    return std::nullopt;
}

} // namespace

std::optional<ServiceOptions> readServiceOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves the Glimmerpane version reply and one installer over HTTPS on 127.0.0.1, for "
        "demos and tests.\nVersion reply: GET /api/front/index/get/version?appPlatform=Windows\n"
        "Installer: GET /<file name of --installer>, its size, SHA-256 and Ed25519 signature "
        "stated in the reply\nEverything else: 404. Prints \"public key <base64>\" (for "
        "GLIMMERPANE_UPDATE_PUBLIC_KEY) and \"listening on https://127.0.0.1:<port>\" once "
        "ready, then one line per request."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Port on 127.0.0.1; 0 picks a free one."),
                                  QStringLiteral("port"), QStringLiteral("20410"));
    const QCommandLineOption latest(QStringLiteral("latest-version"),
                                    QStringLiteral("Offered version, as the digits without dots "
                                                   "(sent as \"appVersion\")."),
                                    QStringLiteral("digits"), QStringLiteral("109"));
    const QCommandLineOption notes(QStringLiteral("release-notes"),
                                   QStringLiteral("UTF-8 text file sent as \"updateLog\"."),
                                   QStringLiteral("file"));
    const QCommandLineOption installer(QStringLiteral("installer"),
                                       QStringLiteral("File offered as the installer."),
                                       QStringLiteral("file"));
    const QCommandLineOption certificate(QStringLiteral("certificate"),
                                         QStringLiteral("Server certificate (PEM, chain may "
                                                        "follow). Required."),
                                         QStringLiteral("file"));
    const QCommandLineOption key(QStringLiteral("key"),
                                 QStringLiteral("Private key of the certificate (PEM). Required."),
                                 QStringLiteral("file"));
    const QCommandLineOption fault(QStringLiteral("fault"),
                                   QStringLiteral("Misbehave: none, stall, endless-body or "
                                                  "invalid-json (the version reply), or "
                                                  "wrong-installer (other bytes than announced) or "
                                                  "changing-etag (a new ETag each installer "
                                                  "request)."),
                                   QStringLiteral("mode"), QStringLiteral("none"));
    const QCommandLineOption code(QStringLiteral("code"),
                                  QStringLiteral("Value of \"code\" in the version reply."),
                                  QStringLiteral("number"), QStringLiteral("200"));
    const QCommandLineOption throttle(QStringLiteral("throttle"),
                                      QStringLiteral("Send the installer at most this many bytes "
                                                     "per second; 0 for no limit."),
                                      QStringLiteral("bytes"), QStringLiteral("0"));
    const QCommandLineOption requestLog(QStringLiteral("request-log"),
                                        QStringLiteral("Append the request lines to this file "
                                                       "instead of standard output."),
                                        QStringLiteral("file"));
    const QCommandLineOption noIntegrity(
        QStringLiteral("no-integrity"),
        QStringLiteral("Leave \"size\", \"sha256\" and \"signature\" out of the version reply."));
    const QCommandLineOption dropAfter(
        QStringLiteral("drop-after"),
        QStringLiteral("Reset the first installer connection after this many bytes."),
        QStringLiteral("bytes"), QStringLiteral("-1"));
    parser.addOptions({port, latest, notes, installer, certificate, key, fault, code, throttle,
                       requestLog, noIntegrity, dropAfter});
    parser.process(app);

    if (!parser.positionalArguments().isEmpty())
        return complain(QStringLiteral("unexpected argument %1")
                            .arg(parser.positionalArguments().constFirst()));

    ServiceOptions options;
    bool ok = false;
    const uint portNumber = parser.value(port).toUInt(&ok);
    if (!ok || portNumber > 65535)
        return complain(QStringLiteral("--port wants a number from 0 to 65535"));
    options.port = quint16(portNumber);
    options.latestVersion = parser.value(latest);
    options.releaseNotesPath = parser.value(notes);
    options.installerPath = parser.value(installer);
    options.certificatePath = parser.value(certificate);
    options.keyPath = parser.value(key);
    if (options.certificatePath.isEmpty() || options.keyPath.isEmpty())
        return complain(QStringLiteral("--certificate and --key are required"));
    const std::optional<ServiceOptions::Fault> faultMode = faultNamed(parser.value(fault));
    if (!faultMode)
        return complain(QStringLiteral("unknown --fault %1").arg(parser.value(fault)));
    options.fault = *faultMode;
    options.code = parser.value(code).toInt(&ok);
    if (!ok)
        return complain(QStringLiteral("--code wants a whole number"));
    options.throttleBytesPerSecond = parser.value(throttle).toLongLong(&ok);
    if (!ok || options.throttleBytesPerSecond < 0)
        return complain(QStringLiteral("--throttle wants a number of bytes, 0 or more"));
    options.requestLogPath = parser.value(requestLog);
    options.statesIntegrity = !parser.isSet(noIntegrity);
    options.dropAfterBytes = parser.value(dropAfter).toLongLong(&ok);
    if (!ok)
        return complain(QStringLiteral("--drop-after wants a number of bytes"));
    return options;
}
