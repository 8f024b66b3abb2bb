#pragma once

#include <QByteArray>
#include <QList>

struct InstallerExpectation;

// The vendor's Ed25519 public keys: built in at configure time (GLIMMERPANE_UPDATE_PUBLIC_KEY, a
// comma-separated list of standard base64 of 32 bytes each, more than one while a key is being
// replaced) or, in staging builds, taken from the environment variable of that name. Empty when
// there is none: then signatures are not checked. A list with a malformed entry stays non-empty
// and verifies nothing, so a broken configuration fails closed.
QList<QByteArray> vendorPublicKeys();

// Whether `signature` is an Ed25519 signature over `statement` by any one of the vendor's keys.
bool vendorSignatureValid(const QByteArray &statement, const QByteArray &signature);

// Whether the stated release may be fetched and started: signed by the vendor over its release
// statement, or no vendor key built in (then nothing is signed).
bool signedByVendor(const InstallerExpectation &expected);
