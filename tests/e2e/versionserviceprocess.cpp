#include "tests/e2e/versionserviceprocess.h"

#include "tests/e2e/childprocess.h"
#include "tests/support/testsandbox.h"

#include <QDeadlineTimer>
#include <QFile>

QString testDataFile(const QString &name)
{
    return qEnvironmentVariable("GLIMMERPANE_TEST_DATA") + QLatin1Char('/') + name;
}

VersionServiceProcess::VersionServiceProcess(QObject *parent) : QObject(parent)
{
    static int serviceCount = 0;
    requestLogPath = testSandboxPath() + QStringLiteral("/requests-%1.log").arg(++serviceCount);
    process.setProcessChannelMode(QProcess::MergedChannels);
    endWithTestProcess(process);
}

VersionServiceProcess::~VersionServiceProcess()
{
    process.kill();
    process.waitForFinished(5000);
}

bool VersionServiceProcess::start(const QStringList &options)
{
    const QStringList arguments =
        QStringList{QStringLiteral("--port"),        QStringLiteral("0"),
                    QStringLiteral("--certificate"), testDataFile(QStringLiteral("server.pem")),
                    QStringLiteral("--key"),         testDataFile(QStringLiteral("server.key")),
                    QStringLiteral("--request-log"), requestLogPath} +
        options;
    process.start(QStringLiteral(GLIMMERPANE_VERSION_SERVICE_BIN), arguments);
    const QByteArray ready = "listening on ";
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        while (process.canReadLine()) {
            const QString line = QString::fromUtf8(process.readLine()).trimmed();
            lastOutput += line + QLatin1Char('\n');
            if (line.startsWith(QLatin1String(ready))) {
                serviceOrigin = line.mid(ready.size());
                return true;
            }
        }
        if (process.state() == QProcess::NotRunning)
            break;
        process.waitForReadyRead(100);
    }
    lastOutput += QString::fromUtf8(process.readAll());
    return false;
}

QStringList VersionServiceProcess::requests() const
{
    QFile log(requestLogPath);
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    for (const QByteArray &line : log.readAll().split('\n')) {
        const int afterTime = line.indexOf(' ');
        if (afterTime > 0)
            lines.append(QString::fromUtf8(line.mid(afterTime + 1)));
    }
    return lines;
}
