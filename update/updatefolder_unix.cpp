#include "update/updatefolder.h"

#include "core/productpaths.h"

#include <QFileInfo>

bool makeUpdateFolder()
{
    return makeFolderLevels(productRoot(), updateFolderLevels()) == updateFolderLevels().size() &&
           QFileInfo(updateFolderPath()).isDir();
}

// In the user's own data folder, which no other account shares.
QString updateFolder()
{
    return updateFolderPath();
}
