#include "update/sha256.h"

#include "update/logcategory.h"

#include <QIODevice>

#include <sodium.h>

#ifdef GLIMMERPANE_LIBCRYPTO_SONAME
#include <dlfcn.h>
#include <openssl/evp.h>
#endif

static_assert(sizeof(crypto_hash_sha256_state) <= 128, "room for libsodium's SHA-256 state");

namespace {

crypto_hash_sha256_state *sodiumState(unsigned char *state)
{
    return reinterpret_cast<crypto_hash_sha256_state *>(state);
}

#ifdef GLIMMERPANE_LIBCRYPTO_SONAME
// The few digest functions of libcrypto, looked up once.
struct LibCrypto
{
    decltype(&EVP_MD_CTX_new) newContext = nullptr;
    decltype(&EVP_MD_CTX_free) freeContext = nullptr;
    decltype(&EVP_sha256) sha256 = nullptr;
    decltype(&EVP_DigestInit_ex) init = nullptr;
    decltype(&EVP_DigestUpdate) update = nullptr;
    decltype(&EVP_DigestFinal_ex) final = nullptr;
};

template <typename Function> void look(void *library, const char *name, Function &function)
{
    function = reinterpret_cast<Function>(reinterpret_cast<quintptr>(dlsym(library, name)));
}

// Null when libcrypto or one of its functions is missing.
const LibCrypto *libCrypto()
{
    static const LibCrypto *const functions = []() -> const LibCrypto * {
        // The library Qt's TLS back end has opened already: this only counts one more user.
        void *library = dlopen(GLIMMERPANE_LIBCRYPTO_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return nullptr;
        static LibCrypto found;
        look(library, "EVP_MD_CTX_new", found.newContext);
        look(library, "EVP_MD_CTX_free", found.freeContext);
        look(library, "EVP_sha256", found.sha256);
        look(library, "EVP_DigestInit_ex", found.init);
        look(library, "EVP_DigestUpdate", found.update);
        look(library, "EVP_DigestFinal_ex", found.final);
        const bool complete = found.newContext && found.freeContext && found.sha256 && found.init &&
                              found.update && found.final;
        return complete ? &found : nullptr;
    }();
    return functions;
}
#endif

} // namespace

Sha256::Sha256() = default;

Sha256::~Sha256()
{
    reset();
}

void Sha256::reset()
{
#ifdef GLIMMERPANE_LIBCRYPTO_SONAME
    if (evpContext)
        libCrypto()->freeContext(static_cast<EVP_MD_CTX *>(evpContext));
#endif
    evpContext = nullptr;
    started = false;
}

// Chosen on the first use, not at construction: the download manager is made at start-up, before
// Qt's TLS back end has opened libcrypto.
bool Sha256::start()
{
    if (started)
        return evpContext || sodiumReady;
    started = true;
#ifdef GLIMMERPANE_LIBCRYPTO_SONAME
    if (const LibCrypto *crypto = libCrypto()) {
        EVP_MD_CTX *context = crypto->newContext();
        if (context && crypto->init(context, crypto->sha256(), nullptr) == 1) {
            evpContext = context;
            return true;
        }
        if (context)
            crypto->freeContext(context);
    }
#endif
    // Without an implementation only the checks that need a digest fail: they get an empty one,
    // which matches no stated digest. The window and unchecked downloads carry on.
    sodiumReady = sodium_init() >= 0;
    if (!sodiumReady) {
        qCWarning(lcUpdate, "no SHA-256 implementation can start: installers cannot be checked");
        return false;
    }
    crypto_hash_sha256_init(sodiumState(state));
    return true;
}

void Sha256::addData(QByteArrayView bytes)
{
    if (!start())
        return;
#ifdef GLIMMERPANE_LIBCRYPTO_SONAME
    if (evpContext) {
        libCrypto()->update(static_cast<EVP_MD_CTX *>(evpContext), bytes.data(),
                            size_t(bytes.size()));
        return;
    }
#endif
    crypto_hash_sha256_update(sodiumState(state),
                              reinterpret_cast<const unsigned char *>(bytes.data()),
                              quint64(bytes.size()));
}

bool Sha256::addData(QIODevice *device)
{
    if (!start())
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
    if (!start()) {
        reset();
        return QByteArray();
    }
    QByteArray digest(crypto_hash_sha256_BYTES, Qt::Uninitialized);
    bool done = true;
#ifdef GLIMMERPANE_LIBCRYPTO_SONAME
    if (evpContext) {
        unsigned int length = 0;
        done = libCrypto()->final(static_cast<EVP_MD_CTX *>(evpContext),
                                  reinterpret_cast<unsigned char *>(digest.data()), &length) == 1 &&
               length == crypto_hash_sha256_BYTES;
    } else
#endif
    {
        crypto_hash_sha256_final(sodiumState(state),
                                 reinterpret_cast<unsigned char *>(digest.data()));
    }
    reset();
    return done ? digest : QByteArray();
}
