#include "core/ownfile.h"

#include "core/ownhandle_win.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <io.h>

bool openOwnFile(QFile &file, const QString &path, OwnFileMode mode)
{
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    int flags = _O_RDWR | _O_BINARY;
    QIODevice::OpenMode qtMode = QIODevice::ReadWrite;
    switch (mode) {
    case OwnFileMode::Create:
        disposition = CREATE_NEW;
        break;
    case OwnFileMode::ReadWrite:
        break;
    case OwnFileMode::Read:
        access = GENERIC_READ;
        flags = _O_RDONLY | _O_BINARY;
        qtMode = QIODevice::ReadOnly;
        break;
    case OwnFileMode::AppendText:
        // Binary at this level: Qt's text mode already writes CR LF.
        access = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
        disposition = OPEN_ALWAYS;
        flags = _O_APPEND | _O_WRONLY | _O_BINARY;
        qtMode = QIODevice::Append | QIODevice::Text;
        break;
    }
    const HANDLE handle =
        openOwnHandle(QDir::toNativeSeparators(path).toStdWString(), access, disposition);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const int fd = _open_osfhandle(intptr_t(handle), flags);
    if (fd < 0) {
        CloseHandle(handle);
        return false;
    }
    file.setFileName(path);
    if (file.open(fd, qtMode, QFileDevice::AutoCloseHandle))
        return true;
    _close(fd);
    return false;
}

bool namesOpenFile(const QString &path, const QFile &file)
{
    if (!file.isOpen())
        return false;
    // Opened for no access at all: it conflicts with no one's sharing.
    const HANDLE named = CreateFileW(QDir::toNativeSeparators(path).toStdWString().c_str(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (named == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION a = {}, b = {};
    const bool same = GetFileInformationByHandle(named, &a) &&
                      GetFileInformationByHandle(HANDLE(_get_osfhandle(file.handle())), &b) &&
                      a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                      a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(named);
    return same;
}
