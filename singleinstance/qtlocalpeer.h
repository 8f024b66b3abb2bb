#pragma once

#include "singleinstance/qtlockedfile.h"

#include <QObject>
#include <QString>

class QLocalServer;

// One side of the single-instance channel. The process that takes the exclusive lock on the
// lock file is the primary and listens on a local server; every later process is a secondary
// that hands the primary one message per connection. The primary reads each connection as its
// bytes arrive, so a sender that stalls never holds its event loop.
class QtLocalPeer : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtLocalPeer)

public:
    explicit QtLocalPeer(QObject *parent = nullptr, const QString &id = QString());

    bool isSecondary();
    bool sendMessage(const QString &message, int timeout);

signals:
    void messageReceived(const QString &message);

protected slots:
    void receiveConnection();

protected:
    QString appId;
    QString serverName;
    QLocalServer *localServer;
    QtLP_Private::QtLockedFile instanceLock;

    static constexpr char ackReply[] = "ack";
    static constexpr qint64 ackLength = sizeof(ackReply) - 1;
};
