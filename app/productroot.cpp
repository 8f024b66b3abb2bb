#include "app/productroot.h"

#include <QDir>
#include <QStandardPaths>

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

QString updateFolderPath()
{
    return productRoot() + QStringLiteral("Glimmerpane/update/");
}
