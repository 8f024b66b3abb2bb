#pragma once

#include <QString>

// Resource addresses of the bundle's folders; the entry itself is not checked.
QString pngPath(const QString &fileName);
QString qssPath(const QString &fileName);
QString i18nPath(const QString &fileName);
