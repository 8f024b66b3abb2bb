#include "core/ownhandle_win.h"

#include <iterator>

namespace {

// The path the handle really reached, against the one asked for, both made whole.
bool reachedByPath(HANDLE handle, const std::wstring &path)
{
    wchar_t reached[MAX_PATH * 4];
    wchar_t asked[MAX_PATH * 4];
    const DWORD reachedLength = GetFinalPathNameByHandleW(
        handle, reached, DWORD(std::size(reached)), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    const DWORD askedLength =
        GetFullPathNameW(path.c_str(), DWORD(std::size(asked)), asked, nullptr);
    if (reachedLength == 0 || reachedLength >= std::size(reached) || askedLength == 0 ||
        askedLength >= std::size(asked))
        return false;
    const wchar_t *final = reached;
    if (wcsncmp(final, L"\\\\?\\", 4) == 0)
        final += 4;
    return CompareStringOrdinal(final, -1, asked, -1, TRUE) == CSTR_EQUAL;
}

} // namespace

HANDLE openOwnHandle(const std::wstring &path, DWORD access, DWORD disposition)
{
    const HANDLE handle =
        CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return handle;
    BY_HANDLE_FILE_INFORMATION info = {};
    const DWORD notPlain = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
    if (GetFileInformationByHandle(handle, &info) && !(info.dwFileAttributes & notPlain) &&
        info.nNumberOfLinks == 1 && reachedByPath(handle, path))
        return handle;
    CloseHandle(handle);
    // Not a state that passes: no caller waits for it to change.
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return INVALID_HANDLE_VALUE;
}
