#include "core/updatelog.h"

#include "core/limits.h"
#include "core/logcategory.h"
#include "core/ownfile.h"
#include "core/productpaths.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {

// Constructed before main() and destroyed at exit, which closes the file.
QFile logFile;

// A log over the limit becomes "update.log.1", replacing the older one. A link is left where it
// is: the open refuses it anyway.
void setAsideLargeLog(const QString &path)
{
    const QFileInfo log(path);
    if (log.isSymLink() || log.isJunction() || !log.isFile() ||
        log.size() < Limits::updateLogMaxBytes())
        return;
    const QString older = path + QStringLiteral(".1");
    QFile::remove(older);
    QFile::rename(path, older);
}

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
    setAsideLargeLog(updateLogPath());
    logFile.close();
    // Never through a link: a log line is not worth a write into someone else's file.
    if (!openOwnFile(logFile, updateLogPath(), OwnFileMode::AppendText))
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
