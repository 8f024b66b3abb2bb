#include "singleinstance/qtsingleapplication.h"

#include "singleinstance/qtlocalpeer.h"

#include <QWidget>

QtSingleApplication::QtSingleApplication(const QString &appId, int &argc, char **argv)
    : QApplication(argc, argv), localPeer(new QtLocalPeer(this, appId))
{
    connect(localPeer, &QtLocalPeer::messageReceived, this, &QtSingleApplication::messageReceived);
}

bool QtSingleApplication::anotherInstanceRunning()
{
    return localPeer->isSecondary();
}

bool QtSingleApplication::sendMessage(const QString &message, int timeout)
{
    return localPeer->sendMessage(message, timeout);
}

void QtSingleApplication::setActivationTarget(QWidget *window, bool activateOnMessage)
{
    activationTarget = window;
    if (activateOnMessage)
        connect(localPeer, &QtLocalPeer::messageReceived, this,
                &QtSingleApplication::activateWindow, Qt::UniqueConnection);
    else
        disconnect(localPeer, &QtLocalPeer::messageReceived, this,
                   &QtSingleApplication::activateWindow);
}

void QtSingleApplication::activateWindow()
{
    if (!activationTarget)
        return;
    activationTarget->setWindowState(activationTarget->windowState() & ~Qt::WindowMinimized);
    activationTarget->raise();
    activationTarget->activateWindow();
}
