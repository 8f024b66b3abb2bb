#include "app/updatelog.h"

#include "app/productroot.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QTextStream>

namespace {

const QString productFolder = QStringLiteral("Glimmerpane");
const QString logFolder = QStringLiteral("log");

// Constructed before main() and destroyed at exit, which closes the file.
QFile logFile;

} // namespace

QString updateLogPath()
{
    return productRoot() + productFolder + QLatin1Char('/') + logFolder +
           QStringLiteral("/update.log");
}

void ensureLogFolders()
{
    QDir dir(productRoot());
    if (!dir.exists(productFolder) && !dir.mkdir(productFolder)) {
        qDebug() << "create Glimmerpane folder failed";
        return;
    }
    // A plain file of that name cannot be entered; creating "log" beside it would be wrong.
    if (!dir.cd(productFolder) || (!dir.exists(logFolder) && !dir.mkdir(logFolder)))
        qDebug() << "create log folder failed";
}

void openUpdateLog()
{
    ensureLogFolders();
    logFile.setFileName(updateLogPath());
    if (!logFile.open(QIODevice::Append | QIODevice::Text))
        qDebug() << "can not open log file";
}

void writeUpdateLog(const QString &message)
{
    if (!logFile.isOpen())
        return;
    QTextStream stream(&logFile);
    stream << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << " - "
           << message << "\n";
    stream.flush();
}
