#pragma once

#include <QByteArray>
#include <QString>

enum class InstallerStart {
    Started,
    Changed,     // its bytes are no longer the SHA-256 stated for them
    StartFailed, // it could not be opened or started
    Cancelled,   // the user declined the elevation prompt; the installer is still there
};

// Starts the installer at `path` as an independent process, without arguments, if its bytes
// still have the SHA-256 `sha256` (empty: not checked). On Windows the file is held open from the
// hash to the start, so that nobody can swap it in between; elsewhere the update folder lies in
// the user's own data folder and the file is hashed by its path. A file that a virus scanner
// holds for a moment is waited for (update/busyfile.h). In staging builds the first start can be
// made to fail as real Windows does (update/startfault.h).
InstallerStart startCheckedInstaller(const QString &path, const QByteArray &sha256);
