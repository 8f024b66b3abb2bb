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
    // Once a run: the user's data folder does not move while the updater runs.
    static const QString root = [] {
        const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QDir().mkpath(data); // a failure shows later, when the folders below cannot be made
        return data.endsWith(QLatin1Char('/')) ? data : data + QLatin1Char('/');
    }();
    return root;
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
