#pragma once

#include <QString>

// Makes the update folder, or checks the one there is, before a download; false when it cannot
// be used (the reason is logged where there is one). On Windows, where it lies at the root of
// drive C: and would inherit write access for every local user, it gets an access list of its
// own (update/securefolder_win.h); elsewhere it lies in the user's own data folder.
bool makeUpdateFolder();

// The update folder of this account, ending in "/": the shared one, or on Windows, when that
// one belongs to another account, "C:/Glimmerpane/update-<SID>/" (update/updatefolderchoice.h).
QString updateFolder();
