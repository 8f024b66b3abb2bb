// Plays a later start of the guard for the single-instance tests; answers on stdout.
//   <app id>            claim the guard; as primary print "primary", then "message=<m>" for each
//   <app id> <message>  as secondary hand the message over: "secondary sent=true|false"

#include "singleinstance/qtsingleapplication.h"

#include <cstdio>

namespace {

void say(const QString &line)
{
    std::fputs(line.toUtf8().append('\n').constData(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc < 2)
        return 2;
    const bool handsOver = argc >= 3;
    const QString message = handsOver ? QString::fromUtf8(argv[2]) : QString();
    QtSingleApplication app(QString::fromUtf8(argv[1]), argc, argv);
    if (app.anotherInstanceRunning()) {
        const bool sent = handsOver && app.sendMessage(message, 400);
        say(sent ? QStringLiteral("secondary sent=true") : QStringLiteral("secondary sent=false"));
        return 0;
    }
    say(QStringLiteral("primary"));
    QObject::connect(&app, &QtSingleApplication::messageReceived,
                     [](const QString &received) { say(QStringLiteral("message=") + received); });
    return QApplication::exec();
}
