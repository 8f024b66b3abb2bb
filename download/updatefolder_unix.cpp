#include "download/updatefolder.h"

#include "app/productpaths.h"

#include <QFileInfo>

bool makeUpdateFolder()
{
    return makeFolderLevels(productRoot(), updateFolderLevels()) == updateFolderLevels().size() &&
           QFileInfo(updateFolderPath()).isDir();
}
