// Plays a later start of the guard for the single-instance tests; answers on stdout.
//   <app id>            claim the guard; as primary print "primary", then "message=<m>" for each
//   <app id> <message>  as secondary hand the message over: "secondary sent=true|false"

#include "singleinstance/qtsingleapplication.h"

#include <cstdio>

static void say(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString message = argc > 2 ? QString::fromUtf8(argv[2]) : QString();
    QtSingleApplication app(QString::fromUtf8(argv[1]), argc, argv);
    if (app.anotherInstanceRunning()) {
        const bool sent = !message.isNull() && app.sendMessage(message, 400);
        say(QStringLiteral("secondary sent=") + (sent ? "true" : "false"));
        return 0;
    }
    say("primary");
    QObject::connect(&app, &QtSingleApplication::messageReceived,
                     [](const QString &received) { say("message=" + received); });
    return QApplication::exec();
}
