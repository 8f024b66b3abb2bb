// glimmerpane-sign: the vendor's tool for signed installers.
//   glimmerpane-sign keygen SECRET_FILE          new secret key (mode 0600, never overwrites);
//                                                prints the public key for the build
//   glimmerpane-sign sign SECRET_FILE INSTALLER --version VERSION
//                                                prints "size", "sha256", "signature",
//                                                "version" and "appVersion" for the version
//                                                reply's "data" that offers the installer as
//                                                VERSION, dotted ("1.0.10")
#include "tools/signing/installersigner.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <cstdio>

namespace {

int usage()
{
    std::fputs("usage: glimmerpane-sign keygen SECRET_FILE\n"
               "       glimmerpane-sign sign SECRET_FILE INSTALLER --version VERSION\n",
               stderr);
    return 2;
}

int fail(const QString &error)
{
    std::fprintf(stderr, "glimmerpane-sign: %s\n", qPrintable(error));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    QString error;
    if (arguments.size() == 2 && arguments.at(0) == QLatin1String("keygen")) {
        const InstallerSigner signer;
        if (!signer.writeSecretKey(arguments.at(1), &error))
            return fail(error);
        std::printf("%s\n", signer.publicKeyBase64().constData());
        return 0;
    }
    if (arguments.size() == 5 && arguments.at(0) == QLatin1String("sign") &&
        arguments.at(3) == QLatin1String("--version")) {
        const std::optional<InstallerSigner> signer =
            InstallerSigner::fromFile(arguments.at(1), &error);
        if (!signer)
            return fail(error);
        const std::optional<QJsonObject> members =
            signer->integrityMembers(arguments.at(2), arguments.at(4), &error);
        if (!members)
            return fail(error);
        std::printf("%s\n", QJsonDocument(*members).toJson(QJsonDocument::Indented).constData());
        return 0;
    }
    return usage();
}
