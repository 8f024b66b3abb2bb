#pragma once

#include "tests/support/testsupport.h"

#include <QProcess>
#include <QTest>

// A child program whose output the test reads line by line. Waiting runs the event loop, so the
// test process can serve (as a primary, a server) meanwhile. The child ends with the test.
class ChildProcess : public QProcess
{
public:
    ChildProcess(const QString &program, const QStringList &arguments,
                 const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
                 ProcessChannelMode channels = SeparateChannels)
    {
        setProcessEnvironment(environment);
        setProcessChannelMode(channels);
        endWithTestProcess(*this);
        start(program, arguments);
    }
    ~ChildProcess() override
    {
        kill();
        waitForFinished(5000);
    }

    // The next line on stdout without its line end, or an empty text when none came in time.
    QString nextLine(int timeoutMs = 10000)
    {
        if (!QTest::qWaitFor([this] { return canReadLine(); }, timeoutMs))
            return QString();
        return QString::fromUtf8(readLine()).trimmed();
    }
    bool finishes() { return finishesWithin(this, 10000); }
};
