#pragma once

#include <string>

enum class SecureFolder {
    Created,   // made with the protected access list
    Kept,      // already there, ours, and nobody else may change it
    Tightened, // already there and ours, but others could change it: the list is applied anew
    NotOurs,   // already there, but owned by someone else or a link elsewhere
    Failed,    // cannot be made, read or changed, or a plain file is in the way
};

// Makes the folder at `path` (its parent must exist), or checks the one there is, so that only
// the current user, SYSTEM and Administrators may change what it holds: a protected access list
// with full control for these three, inherited by everything made inside, and nothing inherited
// from above. Another local user who could write there could swap the installer before it is
// started. No Qt, so that it is tested under Wine.
SecureFolder secureFolder(const std::wstring &path);
