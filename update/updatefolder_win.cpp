#include "update/updatefolder.h"

#include "core/productpaths.h"
#include "core/stagingoverrides.h"
#include "core/updatelog.h"
#include "update/securefolder_win.h"
#include "update/updatefolderchoice.h"

#include <QDir>

namespace {

std::wstring native(const QString &folder)
{
    return QDir::toNativeSeparators(QDir::cleanPath(folder)).toStdWString();
}

QString ownFolder()
{
    return QDir::cleanPath(updateFolderPath()) + QLatin1Char('-') +
           QString::fromStdWString(currentUserSid()) + QLatin1Char('/');
}

// Wine keeps no owners, so the staging build can be told that the shared folder is another
// account's, and the real choice below runs with that.
bool simulatedOtherOwner()
{
    return StagingOverrides::simulateForeignUpdateFolder();
}

} // namespace

bool makeUpdateFolder()
{
    // The levels above as before; the update folder itself with its own access list.
    const QStringList levels = updateFolderLevels();
    if (makeFolderLevels(productRoot(), levels.mid(0, levels.size() - 1)) != levels.size() - 1)
        return false;
    const SecureFolder shared =
        simulatedOtherOwner() ? SecureFolder::NotOurs : secureFolder(native(updateFolderPath()));
    const UpdateFolderChoice choice = chooseUpdateFolder(shared, [] {
        return currentUserSid().empty() ? SecureFolder::Failed : secureFolder(native(ownFolder()));
    });
    if (!choice.logLine.isEmpty())
        writeUpdateLog(choice.logLine);
    return choice.folder != UpdateFolderChoice::None;
}

QString updateFolder()
{
    return simulatedOtherOwner() ||
                   inspectFolder(native(updateFolderPath())) == SecureFolder::NotOurs
               ? ownFolder()
               : updateFolderPath();
}
