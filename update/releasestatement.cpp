#include "update/releasestatement.h"

QByteArray releaseStatement(int version, qint64 size, const QByteArray &sha256)
{
    if (size < 0 || sha256.size() != 32)
        return QByteArray();
    return QByteArrayLiteral("glimmerpane-release-statement-1\nGlimmerpane\nWindows\n") +
           QByteArray::number(version) + '\n' + QByteArray::number(size) + '\n' + sha256.toHex() +
           '\n';
}
