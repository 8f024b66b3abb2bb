#include "update/ownhandle_win.h"

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
        info.nNumberOfLinks == 1)
        return handle;
    CloseHandle(handle);
    return INVALID_HANDLE_VALUE;
}
