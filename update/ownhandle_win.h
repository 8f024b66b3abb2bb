#pragma once

#include <windows.h>

#include <string>

// Opens `path` without following a reparse point (a symbolic link or junction), and keeps the
// handle only for a regular file with no other name (one link). Others may read meanwhile, never
// write, rename or delete. INVALID_HANDLE_VALUE when refused or failed. No Qt, so that it is
// tested under Wine.
HANDLE openOwnHandle(const std::wstring &path, DWORD access, DWORD disposition);
