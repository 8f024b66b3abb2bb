#include "singleinstance/messageframe.h"

#include <QtEndian>

qsizetype MessageFrame::bytesWanted() const
{
    switch (current) {
    case State::WantLength:
        return qsizetype(sizeof(quint32)) - lengthBytes.size();
    case State::WantBytes:
        return qsizetype(length) - body.size();
    case State::Complete:
    case State::Refused:
        break;
    }
    return 0;
}

qsizetype MessageFrame::feed(QByteArrayView chunk)
{
    qsizetype taken = 0;
    while (taken < chunk.size() && bytesWanted() > 0) {
        const QByteArrayView piece = chunk.sliced(taken, qMin(bytesWanted(), chunk.size() - taken));
        taken += piece.size();
        if (current == State::WantBytes) {
            body.append(piece);
        } else {
            lengthBytes.append(piece);
            if (lengthBytes.size() < qsizetype(sizeof(quint32)))
                continue;
            length = qFromBigEndian<quint32>(lengthBytes.constData());
            current = length > maxBytes ? State::Refused : State::WantBytes;
            body.reserve(qsizetype(qMin(length, maxBytes)));
        }
        if (current == State::WantBytes && body.size() == qsizetype(length))
            current = State::Complete;
    }
    // An empty message is complete as soon as its length is.
    if (current == State::WantBytes && length == 0)
        current = State::Complete;
    return taken;
}
