#include "singleinstance/incomingmessage.h"

#include "core/limits.h"
#include "singleinstance/logcategory.h"

#include <QLocalSocket>
#include <QtGlobal>

namespace {

constexpr int moreBytesWaitMs = 2000;
constexpr int replyFlushWaitMs = 1000;
constexpr int senderHangUpWaitMs = 1000;

} // namespace

IncomingMessage::IncomingMessage(QLocalSocket *socket, const QByteArray &reply, QObject *parent)
    : QObject(parent), socket(socket), reply(reply), frame(Limits::peerMessageMaxBytes()),
      waitLimitMs(Limits::peerMessageWaitMs()), deadline(waitLimitMs)
{
    socket->setParent(this);
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &IncomingMessage::onTimeout);
    connect(socket, &QLocalSocket::readyRead, this, &IncomingMessage::readBytes);
    connect(socket, &QLocalSocket::disconnected, this, &IncomingMessage::onDisconnected);
    connect(socket, &QLocalSocket::bytesWritten, this, [this] {
        if (this->socket->bytesToWrite() == 0)
            timer.start(senderHangUpWaitMs);
    });
    timer.start(waitLimitMs);
    // Bytes, or the hang-up, may have come before the signals were connected. Queued, so that
    // whoever took over the connection can connect to received() first.
    QMetaObject::invokeMethod(
        this,
        [this] {
            readBytes();
            if (phase == Phase::Reading && this->socket->state() == QLocalSocket::UnconnectedState)
                onDisconnected();
        },
        Qt::QueuedConnection);
}

void IncomingMessage::readBytes()
{
    if (phase != Phase::Reading)
        return;
    qsizetype taken = 0;
    while (frame.bytesWanted() > 0) {
        const QByteArray chunk = socket->read(frame.bytesWanted());
        if (chunk.isEmpty())
            break;
        taken += frame.feed(chunk);
    }
    switch (frame.state()) {
    case MessageFrame::State::WantLength:
        break;
    case MessageFrame::State::WantBytes:
        // Each pause between message bytes is short; the whole wait stays within the deadline.
        if (taken > 0)
            timer.start(int(qBound(qint64(0), deadline.remainingTime(), qint64(moreBytesWaitMs))));
        break;
    case MessageFrame::State::Complete:
        deliver();
        break;
    case MessageFrame::State::Refused:
        drop(QStringLiteral("(announced length %1 is over the limit of %2 bytes)")
                 .arg(frame.announcedLength())
                 .arg(Limits::peerMessageMaxBytes()));
        break;
    }
}

void IncomingMessage::onDisconnected()
{
    if (phase == Phase::Replying) {
        finish();
        return;
    }
    readBytes();
    if (phase != Phase::Reading)
        return;
    if (frame.state() == MessageFrame::State::WantLength) {
        qCWarning(lcSingleInstance, "QtLocalPeer: Peer disconnected");
        finish();
        return;
    }
    // A sender that hung up mid-message sent none of it.
    drop(QStringLiteral("(%1 after %2 of %3 bytes)")
             .arg(socket->errorString())
             .arg(frame.receivedBytes())
             .arg(frame.announcedLength()));
}

void IncomingMessage::onTimeout()
{
    if (phase == Phase::Replying) {
        finish();
        return;
    }
    if (phase != Phase::Reading)
        return;
    // One that stays connected but stopped early sent what arrived.
    if (frame.state() == MessageFrame::State::WantBytes)
        deliver();
    else
        drop(QStringLiteral("(no message length within %1 ms)").arg(waitLimitMs));
}

void IncomingMessage::deliver()
{
    const QString message = frame.message();
    if (socket->state() == QLocalSocket::ConnectedState) {
        // Kept until the sender has read the reply and hung up: closing first could discard it.
        phase = Phase::Replying;
        socket->write(reply);
        timer.start(replyFlushWaitMs);
    } else {
        finish();
    }
    emit received(message);
}

void IncomingMessage::drop(const QString &reason)
{
    qCWarning(lcSingleInstance, "QtLocalPeer: Message reception failed %s",
              reason.toLatin1().constData());
    finish();
}

void IncomingMessage::finish()
{
    phase = Phase::Done;
    disconnect(socket, nullptr, this, nullptr);
    timer.stop();
    deleteLater();
}
