#pragma once

#include <QByteArray>
#include <QByteArrayView>

class QIODevice;

// SHA-256 of a download. Where the build found OpenSSL (Linux), libcrypto's, which uses the
// processor's SHA instructions: about four times libsodium's speed here, and Qt's TLS has loaded
// libcrypto before any download, so it costs neither a link nor start-up time (the library is
// opened on the first byte hashed, not before). Elsewhere (Windows, whose TLS is schannel), or
// when libcrypto cannot be opened, libsodium's. Qt 6.4's QCryptographicHash is slower than both.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Q_DISABLE_COPY_MOVE(Sha256)

    void addData(QByteArrayView bytes);
    // Reads the device to its end; false when a read fails.
    bool addData(QIODevice *device);
    // The 32 raw bytes of the digest, empty when no implementation can start; the object starts
    // over afterwards.
    QByteArray result();

private:
    bool start();
    void reset();

    bool started = false;
    bool sodiumReady = false;
    void *evpContext = nullptr;           // libcrypto's EVP_MD_CTX while it computes this digest
    alignas(64) unsigned char state[128]; // crypto_hash_sha256_state, kept opaque here
};
