#include "update/sha256.h"

#include <openssl/evp.h>

class Sha256::Context
{
public:
    Context() : evp(EVP_MD_CTX_new()) { start(); }
    ~Context() { EVP_MD_CTX_free(evp); }
    Q_DISABLE_COPY_MOVE(Context)

    void start() { ok = evp && EVP_DigestInit_ex(evp, EVP_sha256(), nullptr) == 1; }

    EVP_MD_CTX *evp;
    bool ok = false;
};

Sha256::Sha256() : context(std::make_unique<Context>()) {}

Sha256::~Sha256() = default;

void Sha256::addData(QByteArrayView bytes)
{
    if (context->ok)
        context->ok = EVP_DigestUpdate(context->evp, bytes.data(), size_t(bytes.size())) == 1;
}

QByteArray Sha256::result()
{
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    const bool ok =
        context->ok &&
        EVP_DigestFinal_ex(context->evp, reinterpret_cast<unsigned char *>(digest.data()),
                           &length) == 1;
    context->start();
    return ok ? digest.left(int(length)) : QByteArray();
}
