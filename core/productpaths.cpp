#include "core/productpaths.h"

#include <QDir>
#include <QStandardPaths>

namespace {

const QString productFolder = QStringLiteral("Glimmerpane");
const QString logFolder = QStringLiteral("log");
const QString updateFolder = QStringLiteral("update");

} // namespace

QString productRoot()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:/");
#else
    const QString root = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QDir().mkpath(root); // a failure shows later, when the folders below cannot be made
    return root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
#endif
}

QStringList logFolderLevels()
{
    return {productFolder, logFolder};
}

QStringList updateFolderLevels()
{
    return {productFolder, updateFolder};
}

QString updateLogPath()
{
    return productRoot() + logFolderLevels().join(QLatin1Char('/')) + QStringLiteral("/update.log");
}

QString updateFolderPath()
{
    return productRoot() + updateFolderLevels().join(QLatin1Char('/')) + QLatin1Char('/');
}

int makeFolderLevels(const QString &base, const QStringList &levels)
{
    QDir dir(base);
    int existing = 0;
    for (const QString &level : levels) {
        if (!dir.exists(level) && !dir.mkdir(level))
            break;
        ++existing;
        if (!dir.cd(level))
            break;
    }
    return existing;
}
