#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// One message of the single-instance channel as its bytes arrive, in pieces of any size: a
// 32-bit big-endian length, then that many bytes of UTF-8. A length over the limit is refused
// before anything is kept, so a sender cannot make the primary hold more than the limit.
class MessageFrame
{
public:
    enum class State { WantLength, WantBytes, Complete, Refused };

    explicit MessageFrame(quint32 maxBytes) : maxBytes(maxBytes) {}

    // Takes what the frame still needs from the front of `chunk`; returns how much it took.
    qsizetype feed(QByteArrayView chunk);
    // How many more bytes the frame wants; 0 once complete or refused.
    qsizetype bytesWanted() const;

    State state() const { return current; }
    quint32 announcedLength() const { return length; }
    // How many message bytes have come so far.
    qsizetype receivedBytes() const { return body.size(); }
    // The message bytes that have come so far, as text: all of them once complete.
    QString message() const { return QString::fromUtf8(body); }

private:
    quint32 maxBytes;
    State current = State::WantLength;
    QByteArray lengthBytes;
    quint32 length = 0;
    QByteArray body;
};
