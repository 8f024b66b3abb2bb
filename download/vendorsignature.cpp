#include "download/vendorsignature.h"

#include <sodium.h>

QByteArray vendorPublicKey()
{
    QByteArray encoded = QByteArrayLiteral(GLIMMERPANE_UPDATE_PUBLIC_KEY);
#ifdef GLIMMERPANE_STAGING_OVERRIDES
    if (qEnvironmentVariableIsSet("GLIMMERPANE_UPDATE_PUBLIC_KEY"))
        encoded = qgetenv("GLIMMERPANE_UPDATE_PUBLIC_KEY");
#endif
    if (encoded.isEmpty())
        return QByteArray();
    const auto decoded = QByteArray::fromBase64Encoding(
        encoded, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (decoded && decoded.decoded.size() == crypto_sign_PUBLICKEYBYTES)
        return decoded.decoded;
    qWarning("the update public key is not base64 of %d bytes: no installer will be accepted",
             int(crypto_sign_PUBLICKEYBYTES));
    return QByteArrayLiteral("invalid");
}

bool vendorSignatureValid(const QByteArray &digest, const QByteArray &signature)
{
    const QByteArray key = vendorPublicKey();
    if (key.size() != crypto_sign_PUBLICKEYBYTES || signature.size() != crypto_sign_BYTES ||
        sodium_init() < 0)
        return false;
    return crypto_sign_verify_detached(
               reinterpret_cast<const unsigned char *>(signature.constData()),
               reinterpret_cast<const unsigned char *>(digest.constData()), quint64(digest.size()),
               reinterpret_cast<const unsigned char *>(key.constData())) == 0;
}
