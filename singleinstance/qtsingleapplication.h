#pragma once

#include <QApplication>
#include <QString>

class QtLocalPeer;

// The application object of a program that runs once per session: a later start finds the
// running one through anotherInstanceRunning() and hands it a message instead of starting.
class QtSingleApplication : public QApplication
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtSingleApplication)

public:
    QtSingleApplication(const QString &appId, int &argc, char **argv);

    // Claims the guard on the first call that finds it free.
    bool anotherInstanceRunning();

signals:
    void messageReceived(const QString &message);

public slots:
    bool sendMessage(const QString &message, int timeout = 5000);

private:
    QtLocalPeer *localPeer;
};
