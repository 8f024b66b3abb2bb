#include "singleinstance/qtlocalpeer.h"

#include "singleinstance/guardfolder.h"
#include "singleinstance/incomingmessage.h"
#include "singleinstance/logcategory.h"
#include "singleinstance/sessionpart.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QThread>
#include <QtGlobal>

namespace {

constexpr int connectRetryPauseMs = 250;

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
    const QString lockName = serverName + QStringLiteral("-lockfile");
    const QString folder = settleGuardFolder(lockName);
    if (!folder.isEmpty()) {
        instanceLock.setFileName(QDir(folder).absoluteFilePath(lockName));
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
        qCWarning(lcSingleInstance, "QtSingleCoreApplication: listen on local socket failed, %s",
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
    while (QLocalSocket *socket = localServer->nextPendingConnection()) {
        auto *incoming = new IncomingMessage(socket, QByteArray(ackReply, ackLength), this);
        connect(incoming, &IncomingMessage::received, this, &QtLocalPeer::messageReceived);
    }
}
