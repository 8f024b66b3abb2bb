#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

// A running singleinstance_helper child acting as another process of the same user. Waiting runs
// the event loop, so the test process can serve as the primary meanwhile.
class HelperProcess : public QProcess
{
public:
    explicit HelperProcess(
        const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
        QObject *parent = nullptr)
        : QProcess(parent)
    {
        setProcessEnvironment(environment);
        start(QStringLiteral(SINGLEINSTANCE_HELPER), arguments);
    }

    // The next line on stdout, or an empty text when none came in time.
    QString nextLine()
    {
        if (!QTest::qWaitFor([this] { return canReadLine(); }, 10000))
            return QString();
        return QString::fromUtf8(readLine()).chopped(1);
    }

    bool finishes()
    {
        return QTest::qWaitFor([this] { return state() == QProcess::NotRunning; }, 10000);
    }
};

// A later start of the guard that hands the message over; returns its report.
inline QString handOffFromLaterStart(
    const QString &appId, const QString &message,
    const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    HelperProcess later({QStringLiteral("guard"), appId, message}, environment);
    const QString report = later.nextLine();
    return later.finishes() ? report : QStringLiteral("still running after: ") + report;
}
