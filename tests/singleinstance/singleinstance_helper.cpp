// Plays "another process" for the single-instance tests. Every answer is one line on stdout.
//   guard <app id>              claim the guard; as primary print "primary", then each message
//   guard <app id> <message>    as secondary hand the message over: "secondary sent=true|false"
//   lock <file> shared|exclusive   take the lock without blocking ("locked" or "refused"),
//                                  hold it until stdin closes, then print "released"

#include "singleinstance/qtlockedfile.h"
#include "singleinstance/qtsingleapplication.h"

#include <cstdio>
#include <cstring>

namespace {

void say(const QString &line)
{
    std::fputs(line.toUtf8().append('\n').constData(), stdout);
    std::fflush(stdout);
}

int runGuard(int argc, char **argv)
{
    const QString appId = QString::fromUtf8(argv[2]);
    const bool handsOver = argc >= 4;
    const QString message = handsOver ? QString::fromUtf8(argv[3]) : QString();

    QtSingleApplication app(appId, argc, argv);
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

int runLock(char **argv)
{
    using QtLP_Private::QtLockedFile;
    QtLockedFile file(QString::fromUtf8(argv[2]));
    const auto kind = std::strcmp(argv[3], "shared") == 0 ? QtLockedFile::SharedLock
                                                          : QtLockedFile::ExclusiveLock;
    const bool locked = file.open(QIODevice::ReadWrite) && file.lock(kind, false);
    say(locked ? QStringLiteral("locked") : QStringLiteral("refused"));
    while (std::fgetc(stdin) != EOF) {
    }
    say(file.unlock() ? QStringLiteral("released") : QStringLiteral("unlock failed"));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc >= 3 && std::strcmp(argv[1], "guard") == 0)
        return runGuard(argc, argv);
    if (argc >= 4 && std::strcmp(argv[1], "lock") == 0)
        return runLock(argv);
    std::fputs("usage: see the comment at the top of singleinstance_helper.cpp\n", stderr);
    return 2;
}
