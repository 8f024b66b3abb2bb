#include "download/sha256.h"

#include <QIODevice>

#include <sodium.h>

static_assert(sizeof(crypto_hash_sha256_state) <= 128, "room for libsodium's SHA-256 state");

namespace {

crypto_hash_sha256_state *sodiumState(unsigned char *state)
{
    return reinterpret_cast<crypto_hash_sha256_state *>(state);
}

} // namespace

Sha256::Sha256()
{
    if (sodium_init() < 0)
        qFatal("libsodium cannot start");
    crypto_hash_sha256_init(sodiumState(state));
}

void Sha256::addData(QByteArrayView bytes)
{
    crypto_hash_sha256_update(sodiumState(state),
                              reinterpret_cast<const unsigned char *>(bytes.data()),
                              quint64(bytes.size()));
}

bool Sha256::addData(QIODevice *device)
{
    QByteArray buffer(1024 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 count = device->read(buffer.data(), buffer.size());
        if (count <= 0)
            return count == 0;
        addData(QByteArrayView(buffer.constData(), count));
    }
}

QByteArray Sha256::result()
{
    QByteArray digest(crypto_hash_sha256_BYTES, Qt::Uninitialized);
    crypto_hash_sha256_final(sodiumState(state), reinterpret_cast<unsigned char *>(digest.data()));
    crypto_hash_sha256_init(sodiumState(state));
    return digest;
}
