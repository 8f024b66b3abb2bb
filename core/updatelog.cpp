#include "core/updatelog.h"

#include "core/logcategory.h"
#include "core/productpaths.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QTextStream>

namespace {

// Constructed before main() and destroyed at exit, which closes the file.
QFile logFile;

} // namespace

void ensureLogFolders()
{
    // A plain file in the product folder's place counts as existing but stops the walk, so
    // "log" is never made beside it.
    switch (makeFolderLevels(productRoot(), logFolderLevels())) {
    case 0:
        qCDebug(lcCore) << "create Glimmerpane folder failed";
        break;
    case 1:
        qCDebug(lcCore) << "create log folder failed";
        break;
    default:
        break;
    }
}

void openUpdateLog()
{
    ensureLogFolders();
    logFile.setFileName(updateLogPath());
    if (!logFile.open(QIODevice::Append | QIODevice::Text))
        qCDebug(lcCore) << "can not open log file";
}

void writeUpdateLog(const QString &message)
{
    if (!logFile.isOpen())
        return;
    QTextStream stream(&logFile);
    stream << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
           << QStringLiteral(" - ") << message << QStringLiteral("\n");
    stream.flush();
}
