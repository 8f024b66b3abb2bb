#include "update/sha256.h"

#include "update/logcategory.h"

#include <QIODevice>

#include <sodium.h>

static_assert(sizeof(crypto_hash_sha256_state) <= 128, "room for libsodium's SHA-256 state");

namespace {

crypto_hash_sha256_state *sodiumState(unsigned char *state)
{
    return reinterpret_cast<crypto_hash_sha256_state *>(state);
}

} // namespace

// Without libsodium only the checks that need a digest fail: they get an empty one, which matches
// no stated digest. The window and unchecked downloads carry on.
Sha256::Sha256() : ready(sodium_init() >= 0)
{
    if (!ready) {
        qCWarning(lcUpdate, "libsodium cannot start: installers cannot be checked");
        return;
    }
    crypto_hash_sha256_init(sodiumState(state));
}

void Sha256::addData(QByteArrayView bytes)
{
    if (!ready)
        return;
    crypto_hash_sha256_update(sodiumState(state),
                              reinterpret_cast<const unsigned char *>(bytes.data()),
                              quint64(bytes.size()));
}

bool Sha256::addData(QIODevice *device)
{
    if (!ready)
        return false;
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
    if (!ready)
        return QByteArray();
    QByteArray digest(crypto_hash_sha256_BYTES, Qt::Uninitialized);
    crypto_hash_sha256_final(sodiumState(state), reinterpret_cast<unsigned char *>(digest.data()));
    crypto_hash_sha256_init(sodiumState(state));
    return digest;
}
