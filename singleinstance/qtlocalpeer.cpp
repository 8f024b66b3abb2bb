#include "singleinstance/qtlocalpeer.h"

#include "core/limits.h"
#include "singleinstance/guardfolder.h"
#include "singleinstance/messageframe.h"
#include "singleinstance/sessionpart.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QThread>
#include <QtGlobal>

namespace {

constexpr int moreBytesWaitMs = 2000;
constexpr int replyFlushWaitMs = 1000;
constexpr int senderHangUpWaitMs = 1000;
constexpr int connectRetryPauseMs = 250;

int remainingMs(const QDeadlineTimer &deadline, int atMost)
{
    return static_cast<int>(qMin<qint64>(atMost, deadline.remainingTime()));
}

} // namespace

QtLocalPeer::QtLocalPeer(QObject *parent, const QString &id) : QObject(parent), appId(id)
{
    QString prefix = appId;
    if (appId.isEmpty()) {
        appId = QCoreApplication::applicationFilePath().toLower();
        prefix = appId.section(QLatin1Char('/'), -1);
    }
    prefix.remove(QRegularExpression(QStringLiteral("[^a-zA-Z]")));
    prefix.truncate(6);
    const quint16 checksum = qChecksum(QByteArrayView(appId.toUtf8()), Qt::ChecksumIso3309);
    serverName = QStringLiteral("qtsingleapp-") + prefix + QLatin1Char('-') +
                 QString::number(checksum, 16) + QLatin1Char('-') + sessionPart();

    localServer = new QLocalServer(this);

    // Without a folder for the lock file it stays closed and the process counts as a
    // secondary, instead of using a lock file in the root folder.
    const QString folder = guardFolder();
    if (!folder.isEmpty()) {
        instanceLock.setFileName(
            QDir(folder).absoluteFilePath(serverName + QStringLiteral("-lockfile")));
        instanceLock.open(QIODevice::ReadWrite);
    }
    serverName = guardServerName(serverName);
}

bool QtLocalPeer::isSecondary()
{
    if (instanceLock.isLocked())
        return false;
    if (!instanceLock.lock(QtLP_Private::QtLockedFile::ExclusiveLock, false))
        return true;

    // A killed primary leaves its socket file behind. Holding the lock, no live primary can own
    // the name any more, so it is safe to clear.
    QLocalServer::removeServer(serverName);
    localServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!localServer->listen(serverName))
        qWarning("QtSingleCoreApplication: listen on local socket failed, %s",
                 qPrintable(localServer->errorString()));
    connect(localServer, &QLocalServer::newConnection, this, &QtLocalPeer::receiveConnection);
    return false;
}

bool QtLocalPeer::sendMessage(const QString &message, int timeout)
{
    if (!isSecondary())
        return false;

    QLocalSocket socket;
    bool connected = false;
    for (int attempt = 0; attempt < 2 && !connected; ++attempt) {
        if (attempt > 0) {
            socket.abort();
            QThread::msleep(connectRetryPauseMs);
        }
        socket.connectToServer(serverName);
        connected = socket.waitForConnected(timeout / 2);
    }
    if (!connected)
        return false;

    const QByteArray bytes = message.toUtf8();
    QDataStream stream(&socket);
    stream.writeBytes(bytes.constData(), static_cast<uint>(bytes.size()));
    if (!socket.waitForBytesWritten(timeout))
        return false;
    if (!socket.waitForReadyRead(timeout))
        return false;
    return socket.read(ackLength) == ackReply;
}

void QtLocalPeer::receiveConnection()
{
    QLocalSocket *socket = localServer->nextPendingConnection();
    if (!socket)
        return;

    // This blocks the primary's event loop, so a sender that stalls must not hold it for long.
    const int messageWaitLimitMs = Limits::peerMessageWaitMs();
    const QDeadlineTimer deadline(messageWaitLimitMs);
    MessageFrame frame(Limits::peerMessageMaxBytes());
    while (frame.bytesWanted() > 0) {
        const QByteArray chunk = socket->read(frame.bytesWanted());
        if (!chunk.isEmpty()) {
            frame.feed(chunk);
            continue;
        }
        if (frame.state() == MessageFrame::State::WantBytes) {
            if (socket->state() == QLocalSocket::ConnectedState && !deadline.hasExpired() &&
                socket->waitForReadyRead(remainingMs(deadline, moreBytesWaitMs)))
                continue;
            if (socket->bytesAvailable() > 0)
                continue;
            // A sender that hung up mid-message sent none; one that stays but stopped early
            // sent what arrived.
            if (socket->state() != QLocalSocket::UnconnectedState)
                break;
            dropConnection(socket, QStringLiteral("(%1 after %2 of %3 bytes)")
                                       .arg(socket->errorString())
                                       .arg(frame.message().toUtf8().size())
                                       .arg(frame.announcedLength()));
            return;
        }
        if (socket->state() == QLocalSocket::UnconnectedState) {
            qWarning("QtLocalPeer: Peer disconnected");
            delete socket;
            return;
        }
        if (deadline.hasExpired()) {
            dropConnection(
                socket, QStringLiteral("(no message length within %1 ms)").arg(messageWaitLimitMs));
            return;
        }
        socket->waitForReadyRead(remainingMs(deadline, messageWaitLimitMs));
    }
    if (frame.state() == MessageFrame::State::Refused) {
        dropConnection(socket, QStringLiteral("(announced length %1 is over the limit of %2 bytes)")
                                   .arg(frame.announcedLength())
                                   .arg(Limits::peerMessageMaxBytes()));
        return;
    }
    const QString message = frame.message();

    if (socket->state() == QLocalSocket::ConnectedState) {
        socket->write(ackReply, ackLength);
        socket->waitForBytesWritten(replyFlushWaitMs);
        socket->waitForDisconnected(senderHangUpWaitMs);
    }
    delete socket;
    emit messageReceived(message);
}

void QtLocalPeer::dropConnection(QLocalSocket *socket, const QString &reason)
{
    qWarning("QtLocalPeer: Message reception failed %s", reason.toLatin1().constData());
    delete socket;
}
