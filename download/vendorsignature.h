#pragma once

#include <QByteArray>

// The vendor's Ed25519 public key: built in at configure time (GLIMMERPANE_UPDATE_PUBLIC_KEY,
// standard base64 of 32 bytes) or, in staging builds, taken from the environment variable of
// that name. Empty when there is none: then signatures are not checked. A key that is not
// 32 bytes stays non-empty and verifies nothing, so a broken configuration fails closed.
QByteArray vendorPublicKey();

// Whether `signature` is the vendor's Ed25519 signature over `digest`.
bool vendorSignatureValid(const QByteArray &digest, const QByteArray &signature);
