#include "core/plainfile.h"

#include <QDir>
#include <QFileInfo>

#include <iterator>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

bool openPlainFileForAppend(QFile &file, const QString &path)
{
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself rather than what it points to, so that
    // the attributes below show it.
    const HANDLE handle = CreateFileW(
        reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
        FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    // Where the handle really leads: a junction or link among the folders above is not caught by
    // the flag, and Wine shows a Unix symbolic link as a plain file.
    wchar_t finalPath[1024];
    const DWORD length = GetFinalPathNameByHandleW(handle, finalPath, DWORD(std::size(finalPath)),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    QString reached = QString::fromWCharArray(finalPath, int(length));
    if (reached.startsWith(QLatin1String("\\\\?\\")))
        reached.remove(0, 4);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        info.nNumberOfLinks != 1 || length == 0 || length >= std::size(finalPath) ||
        QDir::cleanPath(reached).compare(QDir::cleanPath(QFileInfo(path).absoluteFilePath()),
                                         Qt::CaseInsensitive) != 0) {
        CloseHandle(handle);
        return false;
    }
    // Binary at this level: Qt's text mode already writes CR LF.
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_APPEND | _O_WRONLY);
    if (fd < 0) {
        CloseHandle(handle);
        return false;
    }
    file.setFileName(path);
    if (file.open(fd, QIODevice::Append | QIODevice::Text, QFileDevice::AutoCloseHandle))
        return true;
    _close(fd);
    return false;
}
