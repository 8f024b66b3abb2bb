#include "singleinstance/guardfolder.h"

#include <QDir>

// The temporary folder is the user's own on Windows, and mutex and pipe names are scoped to the
// session: nothing another user can take there.
QString guardFolder()
{
    return QDir::tempPath();
}

QString guardMutexFolder()
{
    return QString();
}

QString settleGuardFolder(const QString &)
{
    return guardFolder();
}

QString guardFolderNote()
{
    return QString();
}

QString guardServerName(const QString &name)
{
    return name;
}
