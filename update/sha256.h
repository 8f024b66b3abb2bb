#pragma once

#include <QByteArray>
#include <QByteArrayView>

class QIODevice;

// SHA-256 by libsodium. Qt 6.4's QCryptographicHash does about 70 MiB/s here, which would
// make the digest the slowest part of a download; libsodium's is some three times faster.
class Sha256
{
public:
    Sha256();
    void addData(QByteArrayView bytes);
    // Reads the device to its end; false when a read fails.
    bool addData(QIODevice *device);
    // The 32 raw bytes of the digest, empty when libsodium cannot start; the object starts over
    // afterwards.
    QByteArray result();

private:
    bool ready;
    alignas(64) unsigned char state[128]; // crypto_hash_sha256_state, kept opaque here
};
