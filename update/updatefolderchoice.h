#pragma once

#include "update/folderaccess.h"

#include <QString>

#include <functional>

// Which update folder an account downloads into. The shared one stays its owner's. Another
// account cannot write into it (its access list lets only the owner, SYSTEM and Administrators
// change it), so it gets a folder of its own beside it, protected the same way, which no other
// account can change either.
struct UpdateFolderChoice
{
    enum Folder { Shared, Own, None };
    Folder folder = None;
    QString logLine; // for the update log; empty for none
};

// `shared` is what the check of the shared folder found; `secureOwn` checks (or makes) the
// account's own folder and is called only when that one is needed.
UpdateFolderChoice chooseUpdateFolder(SecureFolder shared,
                                      const std::function<SecureFolder()> &secureOwn);
