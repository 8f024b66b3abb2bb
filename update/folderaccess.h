#pragma once

// What the check of an update folder found (update/securefolder_win.h); no Qt, no Windows, so
// that the choice between folders (update/updatefolderchoice.h) is tested everywhere.
enum class SecureFolder {
    Created,   // made with the protected access list
    Kept,      // already there, ours, and nobody else may change it
    Tightened, // already there and ours, but others could change it: the list is applied anew
    NotOurs,   // already there, but owned by someone else or a link elsewhere
    Failed,    // cannot be made, read or changed, or a plain file is in the way
};
