#pragma once

#include "singleinstance/messageframe.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QLocalSocket;

// One connection to the primary, read as its bytes arrive so that a slow or silent sender never
// holds the event loop. It delivers at most one message, acknowledges it, and then deletes
// itself together with the connection.
class IncomingMessage : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IncomingMessage)

public:
    // Takes over the socket; `reply` is what the sender waits for once its message is taken.
    IncomingMessage(QLocalSocket *socket, const QByteArray &reply, QObject *parent);

signals:
    void received(const QString &message);

private:
    enum class Phase { Reading, Replying, Done };

    void readBytes();
    void onDisconnected();
    void onTimeout();
    void deliver();
    void drop(const QString &reason);
    void finish();

    QLocalSocket *socket;
    const QByteArray reply;
    MessageFrame frame;
    const int waitLimitMs;
    const QDeadlineTimer deadline;
    QTimer timer; // the deadline of whatever the connection waits for next
    Phase phase = Phase::Reading;
};
