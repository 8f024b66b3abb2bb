#pragma once

#include <windows.h>

#include <string>

// Opens `path` without following a reparse point (a symbolic link or junction), and keeps the
// handle only for a regular file with no other name (one link) that is reached by that very
// path, so that a junction among the folders above is refused too (and Wine, which shows a Unix
// symbolic link as a plain file, is caught by the path). Others may read meanwhile, never write,
// rename or delete. INVALID_HANDLE_VALUE when refused or failed. No Qt, so that it is tested
// under Wine.
HANDLE openOwnHandle(const std::wstring &path, DWORD access, DWORD disposition);
