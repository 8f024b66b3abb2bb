// Plays "another process" for the single-instance tests. Every answer is one line on stdout.
//   guard <app id>                        claim the guard; as primary print each message received
//   guard <app id> <message> <timeout>    claim the guard; as secondary hand the message over
//   lock <file> shared|exclusive try|block   hold a lock on the file until stdin closes

#include "singleinstance/qtlockedfile.h"
#include "singleinstance/qtsingleapplication.h"

#include <QCoreApplication>
#include <QElapsedTimer>

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
    const bool handsOver = argc >= 5;
    const QString message = handsOver ? QString::fromUtf8(argv[3]) : QString();
    const int timeout = handsOver ? std::atoi(argv[4]) : 0;

    QtSingleApplication app(appId, argc, argv);
    if (app.anotherInstanceRunning()) {
        say(QStringLiteral("role=secondary"));
        if (!handsOver)
            return 0;
        QElapsedTimer clock;
        clock.start();
        const bool sent = app.sendMessage(message, timeout);
        say(QStringLiteral("sent=") + (sent ? QStringLiteral("true") : QStringLiteral("false")));
        say(QStringLiteral("elapsed=%1").arg(clock.elapsed()));
        return 0;
    }
    say(QStringLiteral("role=primary"));
    QObject::connect(&app, &QtSingleApplication::messageReceived,
                     [](const QString &received) { say(QStringLiteral("message=") + received); });
    return QApplication::exec();
}

int runLock(int argc, char **argv)
{
    using QtLP_Private::QtLockedFile;
    QCoreApplication app(argc, argv);
    QtLockedFile file(QString::fromUtf8(argv[2]));
    if (!file.open(QIODevice::ReadWrite))
        return 2;
    const auto kind = std::strcmp(argv[3], "shared") == 0 ? QtLockedFile::SharedLock
                                                          : QtLockedFile::ExclusiveLock;
    say(QStringLiteral("waiting"));
    say(file.lock(kind, std::strcmp(argv[4], "block") == 0) ? QStringLiteral("locked")
                                                            : QStringLiteral("refused"));
    while (std::fgetc(stdin) != EOF) {
    }
    file.unlock();
    say(QStringLiteral("released"));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc >= 3 && std::strcmp(argv[1], "guard") == 0)
        return runGuard(argc, argv);
    if (argc >= 5 && std::strcmp(argv[1], "lock") == 0)
        return runLock(argc, argv);
    std::fputs("usage: see the comment at the top of singleinstance_helper.cpp\n", stderr);
    return 2;
}
