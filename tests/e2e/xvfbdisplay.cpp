#include "tests/e2e/xvfbdisplay.h"

#include "tests/e2e/childprocess.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QStandardPaths>

XvfbDisplay::XvfbDisplay(QObject *parent) : QObject(parent)
{
    endWithTestProcess(server);
}

XvfbDisplay::~XvfbDisplay()
{
    server.terminate();
    if (!server.waitForFinished(5000))
        server.kill();
}

bool XvfbDisplay::start()
{
    for (const char *tool : {"Xvfb", "xdotool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            error = QStringLiteral("%1 is not installed (scripts/install-deps)").arg(tool);
            return false;
        }
    }
    // -displayfd 1: Xvfb picks a free display number and writes it to its standard output.
    // -noreset: without it the server restarts whenever its last client leaves, and a client
    // that connects just then fails.
    server.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                  QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("800x600x24"),
                  QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    const QDeadlineTimer deadline(15000);
    while (!server.canReadLine()) {
        if (deadline.hasExpired() || server.state() == QProcess::NotRunning) {
            error = QStringLiteral("Xvfb did not start: ") +
                    QString::fromLocal8Bit(server.readAllStandardError());
            return false;
        }
        server.waitForReadyRead(100);
    }
    displayName = QLatin1Char(':') + QString::fromLatin1(server.readLine()).trimmed();
    return true;
}

QStringList XvfbDisplay::visibleWindows(const QString &titleStart) const
{
    QByteArray output;
    xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
             QLatin1Char('^') + titleStart},
            &output);
    return QString::fromLatin1(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool XvfbDisplay::click(const QString &window, const QPoint &point) const
{
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                    QString::number(point.x()), QString::number(point.y()), QStringLiteral("click"),
                    QStringLiteral("1")});
}

bool XvfbDisplay::xdotool(const QStringList &arguments, QByteArray *output) const
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), displayName);
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(10000))
        return false;
    if (output)
        *output = tool.readAllStandardOutput();
    return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}
