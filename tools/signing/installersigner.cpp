#include "tools/signing/installersigner.h"

#include "core/releasestatement.h"
#include "core/releaseversion.h"

#include <QCryptographicHash>
#include <QFile>

#include <sodium.h>

namespace {

const unsigned char *bytes(const QByteArray &array)
{
    return reinterpret_cast<const unsigned char *>(array.constData());
}

} // namespace

InstallerSigner::InstallerSigner()
{
    QByteArray publicKey(crypto_sign_PUBLICKEYBYTES, Qt::Uninitialized);
    secretKey.resize(crypto_sign_SECRETKEYBYTES);
    if (sodium_init() < 0)
        qFatal("libsodium cannot start");
    crypto_sign_keypair(reinterpret_cast<unsigned char *>(publicKey.data()),
                        reinterpret_cast<unsigned char *>(secretKey.data()));
}

std::optional<InstallerSigner> InstallerSigner::fromFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const auto decoded = QByteArray::fromBase64Encoding(file.read(1024).trimmed(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != crypto_sign_SECRETKEYBYTES) {
        *error = QStringLiteral("%1 holds no secret key").arg(path);
        return std::nullopt;
    }
    InstallerSigner signer;
    signer.secretKey = decoded.decoded;
    return signer;
}

bool InstallerSigner::writeSecretKey(const QString &path, QString *error) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                   QFile::ReadOwner | QFile::WriteOwner) ||
        file.write(secretKey.toBase64() + '\n') < 0 || !file.flush()) {
        *error = QStringLiteral("cannot create %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QByteArray InstallerSigner::publicKeyBase64() const
{
    return secretKey.mid(crypto_sign_SECRETKEYBYTES - crypto_sign_PUBLICKEYBYTES).toBase64();
}

std::optional<QJsonObject> InstallerSigner::integrityMembers(const QString &installerPath,
                                                             const QString &version, QString *error,
                                                             Layout layout) const
{
    const bool dotted = layout == Layout::Dotted;
    // Only what the updater reads back the same, so that the statement signed is the one checked.
    bool digits = false;
    const int number = version.toInt(&digits);
    if (dotted ? !isReleaseVersion(version) : !digits || QString::number(number) != version) {
        *error = dotted ? QStringLiteral("%1 is no version such as 1.0.10: one to four "
                                         "parts, each 0 to 65535 without leading zeros")
                              .arg(version)
                        : QStringLiteral("%1 is no version's digits such as 1010").arg(version);
        return std::nullopt;
    }
    QFile installer(installerPath);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!installer.open(QIODevice::ReadOnly) || !hash.addData(&installer)) {
        *error = QStringLiteral("cannot read %1: %2").arg(installerPath, installer.errorString());
        return std::nullopt;
    }
    const QByteArray digest = hash.result();
    const QByteArray statement = dotted ? releaseStatement(version, installer.size(), digest)
                                        : digitsReleaseStatement(number, installer.size(), digest);
    QByteArray signature(crypto_sign_BYTES, Qt::Uninitialized);
    crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                         bytes(statement), quint64(statement.size()), bytes(secretKey));
    QJsonObject members{{QStringLiteral("size"), double(installer.size())},
                        {QStringLiteral("sha256"), QString::fromLatin1(digest.toHex())},
                        {QStringLiteral("signature"), QString::fromLatin1(signature.toBase64())}};
    if (dotted) {
        members.insert(QStringLiteral("version"), version);
        members.insert(QStringLiteral("appVersion"), versionDigits(version));
    }
    return members;
}
