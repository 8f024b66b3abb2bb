#include "update/busyfile.h"

#include <QDir>

#include <windows.h>

namespace {

FileStep outcome(bool done)
{
    if (done)
        return FileStep::Done;
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                   error == ERROR_LOCK_VIOLATION
               ? FileStep::Busy
               : FileStep::Failed;
}

std::wstring native(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

} // namespace

bool removeWhenFree(const QString &path)
{
    const std::wstring file = native(path);
    return retryWhileBusy([&] { return outcome(DeleteFileW(file.c_str())); });
}

bool renameWhenFree(const QString &from, const QString &to)
{
    const std::wstring source = native(from), target = native(to);
    return retryWhileBusy([&] { return outcome(MoveFileExW(source.c_str(), target.c_str(), 0)); });
}
