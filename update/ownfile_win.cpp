#include "update/ownfile.h"

#include "update/ownhandle_win.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <io.h>

bool openOwnFile(QFile &file, const QString &path, OwnFileMode mode)
{
    const bool readOnly = mode == OwnFileMode::Read;
    const HANDLE handle = openOwnHandle(QDir::toNativeSeparators(path).toStdWString(),
                                        readOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                                        mode == OwnFileMode::Create ? CREATE_NEW : OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const int fd = _open_osfhandle(intptr_t(handle), (readOnly ? _O_RDONLY : _O_RDWR) | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return false;
    }
    if (file.open(fd, readOnly ? QIODevice::ReadOnly : QIODevice::ReadWrite,
                  QFileDevice::AutoCloseHandle))
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
