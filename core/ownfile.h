#pragma once

#include <QString>

class QFile;

// How a file of the updater's own is opened: made new, an existing one for reading and writing
// or for reading alone, or the log, appended to as text and made when missing.
enum class OwnFileMode { Create, ReadWrite, Read, AppendText };

// Opens a file that the updater writes, reads back or starts, never through a link: a symbolic
// link or reparse point at the name, a file with a second name (a hard link) or anything but a
// regular file is refused, so that no byte lands in, or comes from, a file that is not ours.
// A file made here is private to its owner (0600 on Linux). `file` keeps `path` as its name.
bool openOwnFile(QFile &file, const QString &path, OwnFileMode mode);

// Whether `path` still names the open file itself, not a link or another file put there since.
bool namesOpenFile(const QString &path, const QFile &file);
