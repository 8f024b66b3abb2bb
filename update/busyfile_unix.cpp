#include "update/busyfile.h"

#include <QFile>

// No scanner here holds files against renames and removals.
bool removeWhenFree(const QString &path)
{
    return QFile::remove(path);
}

bool renameWhenFree(const QString &from, const QString &to)
{
    return QFile::rename(from, to);
}
