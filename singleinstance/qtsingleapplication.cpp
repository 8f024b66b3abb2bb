#include "singleinstance/qtsingleapplication.h"

#include "singleinstance/qtlocalpeer.h"

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
