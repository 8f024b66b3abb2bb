#include "update/updatefolderchoice.h"

namespace {

UpdateFolderChoice take(UpdateFolderChoice::Folder folder, SecureFolder found)
{
    switch (found) {
    case SecureFolder::Created:
    case SecureFolder::Kept:
        return {folder, QString()};
    case SecureFolder::Tightened:
        return {folder, QStringLiteral("update folder access tightened")};
    case SecureFolder::NotOurs:
        return {UpdateFolderChoice::None, QStringLiteral("update folder not ours")};
    case SecureFolder::Failed:
        break;
    }
    return {UpdateFolderChoice::None, QString()};
}

} // namespace

UpdateFolderChoice chooseUpdateFolder(SecureFolder shared,
                                      const std::function<SecureFolder()> &secureOwn)
{
    if (shared != SecureFolder::NotOurs)
        return take(UpdateFolderChoice::Shared, shared);
    UpdateFolderChoice own = take(UpdateFolderChoice::Own, secureOwn());
    if (own.folder == UpdateFolderChoice::Own && own.logLine.isEmpty())
        own.logLine = QStringLiteral("update folder of another account: using this account's own");
    return own;
}
