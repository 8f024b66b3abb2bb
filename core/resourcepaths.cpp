#include "core/resourcepaths.h"

QString pngPath(const QString &fileName)
{
    return QStringLiteral(":/resources/png/%1").arg(fileName);
}

QString qssPath(const QString &fileName)
{
    return QStringLiteral(":/resources/qss/%1").arg(fileName);
}

QString i18nPath(const QString &fileName)
{
    return QStringLiteral(":/resources/i18n/%1").arg(fileName);
}
