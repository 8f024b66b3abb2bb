#include "update/vendorsignature.h"

#include "core/releasestatement.h"
#include "core/stagingoverrides.h"
#include "update/installerexpectation.h"
#include "update/logcategory.h"

#include <sodium.h>

QList<QByteArray> vendorPublicKeys()
{
    const QByteArray configured = StagingOverrides::updatePublicKeys().value_or(
        QByteArrayLiteral(GLIMMERPANE_UPDATE_PUBLIC_KEY));
    if (configured.trimmed().isEmpty())
        return {};
    QList<QByteArray> keys;
    for (const QByteArray &entry : configured.split(',')) {
        const auto decoded = QByteArray::fromBase64Encoding(
            entry.trimmed(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || decoded.decoded.size() != crypto_sign_PUBLICKEYBYTES) {
            qCWarning(lcUpdate,
                      "the update public keys are not a comma-separated list of base64 of %d "
                      "bytes each: no installer will be accepted",
                      int(crypto_sign_PUBLICKEYBYTES));
            return {QByteArrayLiteral("invalid")};
        }
        keys.append(decoded.decoded);
    }
    return keys;
}

bool vendorSignatureValid(const QByteArray &statement, const QByteArray &signature)
{
    if (statement.isEmpty() || signature.size() != crypto_sign_BYTES || sodium_init() < 0)
        return false;
    for (const QByteArray &key : vendorPublicKeys()) {
        if (key.size() == crypto_sign_PUBLICKEYBYTES &&
            crypto_sign_verify_detached(
                reinterpret_cast<const unsigned char *>(signature.constData()),
                reinterpret_cast<const unsigned char *>(statement.constData()),
                quint64(statement.size()),
                reinterpret_cast<const unsigned char *>(key.constData())) == 0)
            return true;
    }
    return false;
}

bool signedByVendor(const InstallerExpectation &expected)
{
    if (vendorPublicKeys().isEmpty())
        return true;
    // The dotted layout when the reply named a dotted version, else the first.
    const QByteArray statement =
        expected.versionText.isEmpty()
            ? digitsReleaseStatement(expected.version, expected.size, expected.sha256)
            : releaseStatement(expected.versionText, expected.size, expected.sha256);
    return vendorSignatureValid(statement, expected.signature);
}
