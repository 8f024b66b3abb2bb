#pragma once

#include "update/folderaccess.h"

#include <string>

// Makes the folder at `path` (its parent must exist), or checks the one there is, so that only
// the current user, SYSTEM and Administrators may change what it holds: a protected access list
// with full control for these three, inherited by everything made inside, and nothing inherited
// from above. Another local user who could write there could swap the installer before it is
// started. No Qt, so that it is tested under Wine.
SecureFolder secureFolder(const std::wstring &path);

// What secureFolder would find, changing nothing: Tightened stands for "ours, but would be
// tightened", Failed also for a folder that is not there.
SecureFolder inspectFolder(const std::wstring &path);

// The current account's SID as text ("S-1-5-21-..."); empty when it cannot be read.
std::wstring currentUserSid();
