#include "core/plainfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool openPlainFileForAppend(QFile &file, const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink != 1) {
        ::close(fd);
        return false;
    }
    file.setFileName(path);
    if (file.open(fd, QIODevice::Append | QIODevice::Text, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
}
