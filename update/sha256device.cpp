#include "update/sha256.h"

#include <QIODevice>

bool Sha256::addData(QIODevice *device)
{
    QByteArray buffer(1024 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 count = device->read(buffer.data(), buffer.size());
        if (count < 0)
            return false;
        if (count == 0)
            return device->atEnd();
        addData(QByteArrayView(buffer.constData(), count));
    }
}
