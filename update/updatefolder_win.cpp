#include "update/updatefolder.h"

#include "core/productpaths.h"
#include "core/updatelog.h"
#include "update/securefolder_win.h"

#include <QDir>

bool makeUpdateFolder()
{
    // The levels above as before; the update folder itself with its own access list.
    const QStringList levels = updateFolderLevels();
    if (makeFolderLevels(productRoot(), levels.mid(0, levels.size() - 1)) != levels.size() - 1)
        return false;
    const QString path = QDir::toNativeSeparators(QDir::cleanPath(updateFolderPath()));
    switch (secureFolder(path.toStdWString())) {
    case SecureFolder::Created:
    case SecureFolder::Kept:
        return true;
    case SecureFolder::Tightened:
        writeUpdateLog(QStringLiteral("update folder access tightened"));
        return true;
    case SecureFolder::NotOurs:
        writeUpdateLog(QStringLiteral("update folder not ours"));
        return false;
    case SecureFolder::Failed:
        break;
    }
    return false;
}
