#include "update/sha256.h"

#include <QCryptographicHash>

class Sha256::Context
{
public:
    QCryptographicHash hash{QCryptographicHash::Sha256};
};

Sha256::Sha256() : context(std::make_unique<Context>()) {}

Sha256::~Sha256() = default;

void Sha256::addData(QByteArrayView bytes)
{
    context->hash.addData(bytes);
}

QByteArray Sha256::result()
{
    const QByteArray digest = context->hash.result();
    context->hash.reset();
    return digest;
}
