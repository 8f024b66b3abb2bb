#pragma once

#include <QFile>
#include <QString>

// Opens `path` for appending as text, creating it when missing, but only as a plain file with
// one name: a link, or a file that also has another name, is refused and nothing is written.
// `file` keeps `path` as its name.
bool openPlainFileForAppend(QFile &file, const QString &path);
