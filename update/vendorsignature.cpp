#include "update/vendorsignature.h"

#include "core/stagingoverrides.h"
#include "update/logcategory.h"
#include "update/releasestatement.h"

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
    return vendorPublicKeys().isEmpty() ||
           vendorSignatureValid(releaseStatement(expected), expected.signature);
}
