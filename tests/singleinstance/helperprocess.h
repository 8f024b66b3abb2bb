#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QStringList>

// A singleinstance_helper child acting as another process of the same user.
class HelperProcess : public QProcess
{
public:
    explicit HelperProcess(QObject *parent = nullptr) : QProcess(parent)
    {
        setProgram(QStringLiteral(SINGLEINSTANCE_HELPER));
    }

    void run(const QStringList &arguments)
    {
        setArguments(arguments);
        start();
    }

    // The next line on stdout, or an empty text when none came in time. Runs the event loop
    // while it waits, so the test process can serve as the primary meanwhile.
    QString nextLine(int timeoutMs = 10000)
    {
        QSignalSpy output(this, &QProcess::readyReadStandardOutput);
        const QDeadlineTimer deadline(timeoutMs);
        while (!canReadLine()) {
            if (deadline.hasExpired() || !output.wait(int(deadline.remainingTime())))
                return QString();
        }
        return QString::fromUtf8(readLine()).chopped(1);
    }

    // Whether the process ends within the time, again with the event loop running.
    bool finishes(int timeoutMs = 10000)
    {
        QSignalSpy finished(this, &QProcess::finished);
        return state() == QProcess::NotRunning || finished.wait(timeoutMs);
    }
};
