#include "update/sha256.h"

#include <windows.h>

#include <bcrypt.h>

// CNG's SHA-256: the system's own, hardware-assisted where the processor has it.
class Sha256::Context
{
public:
    Context()
    {
        ok = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0;
        start();
    }
    ~Context()
    {
        if (hash)
            BCryptDestroyHash(hash);
        if (algorithm)
            BCryptCloseAlgorithmProvider(algorithm, 0);
    }
    Q_DISABLE_COPY_MOVE(Context)

    void start()
    {
        if (hash)
            BCryptDestroyHash(hash);
        hash = nullptr;
        ok = algorithm && BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
    }

    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = false;
};

Sha256::Sha256() : context(std::make_unique<Context>()) {}

Sha256::~Sha256() = default;

void Sha256::addData(QByteArrayView bytes)
{
    // CNG takes at most 4 GiB a call.
    for (qsizetype done = 0; context->ok && done < bytes.size();) {
        const ULONG step = ULONG(qMin<qsizetype>(bytes.size() - done, 1 << 30));
        context->ok =
            BCryptHashData(context->hash,
                           reinterpret_cast<PUCHAR>(const_cast<char *>(bytes.data())) + done, step,
                           0) >= 0;
        done += step;
    }
}

QByteArray Sha256::result()
{
    QByteArray digest(32, Qt::Uninitialized);
    const bool ok =
        context->ok && BCryptFinishHash(context->hash, reinterpret_cast<PUCHAR>(digest.data()),
                                        ULONG(digest.size()), 0) >= 0;
    context->start();
    return ok ? digest : QByteArray();
}
