#include "core/ownfile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool openOwnFile(QFile &file, const QString &path, OwnFileMode mode)
{
    int flags = O_NOFOLLOW | O_CLOEXEC;
    QIODevice::OpenMode qtMode = QIODevice::ReadWrite;
    switch (mode) {
    case OwnFileMode::Create:
        flags |= O_RDWR | O_CREAT | O_EXCL;
        break;
    case OwnFileMode::ReadWrite:
        flags |= O_RDWR;
        break;
    case OwnFileMode::Read:
        flags |= O_RDONLY;
        qtMode = QIODevice::ReadOnly;
        break;
    case OwnFileMode::AppendText:
        flags |= O_WRONLY | O_APPEND | O_CREAT;
        qtMode = QIODevice::Append | QIODevice::Text;
        break;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0600);
    if (fd < 0)
        return false;
    struct stat status = {};
    file.setFileName(path);
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1 &&
        file.open(fd, qtMode, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
}

bool namesOpenFile(const QString &path, const QFile &file)
{
    struct stat named = {};
    struct stat open = {};
    return file.isOpen() && fstat(file.handle(), &open) == 0 &&
           lstat(QFile::encodeName(path).constData(), &named) == 0 && named.st_dev == open.st_dev &&
           named.st_ino == open.st_ino;
}
