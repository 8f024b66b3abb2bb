#include "update/updatefolder.h"

#include "core/productpaths.h"

#include <QFileInfo>

bool makeUpdateFolder()
{
    return makeFolderLevels(productRoot(), updateFolderLevels()) == updateFolderLevels().size() &&
           QFileInfo(updateFolderPath()).isDir();
}
