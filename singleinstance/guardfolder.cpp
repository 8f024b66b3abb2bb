#include "singleinstance/guardfolder.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

QString guardFolder()
{
    // Once a run: the guard asks for it at every lock and name.
    static const QString folder = [] {
#ifdef Q_OS_UNIX
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        struct stat status;
        if (!runtime.isEmpty() && ::lstat(runtime.constData(), &status) == 0 &&
            S_ISDIR(status.st_mode) && status.st_uid == ::getuid() &&
            (status.st_mode & (S_IRWXG | S_IRWXO)) == 0)
            return QFile::decodeName(runtime);
#endif
        return QDir::tempPath(); // empty when the temporary folder is missing
    }();
    return folder;
}

QString guardServerName(const QString &name)
{
#ifdef Q_OS_UNIX
    const QString path = guardFolder() + QLatin1Char('/') + name;
    if (QFile::encodeName(path).size() < qsizetype(sizeof(sockaddr_un::sun_path)))
        return path;
    return QStringLiteral("/tmp/") + name;
#else
    return name;
#endif
}
