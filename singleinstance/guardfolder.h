#pragma once

#include <QString>

// Where the single-instance guard keeps its lock file and, off Windows, its named-mutex
// folder: the user's runtime folder ($XDG_RUNTIME_DIR, which the system makes for that user
// alone) when there is one that is a real folder of this user closed to everybody else;
// otherwise the temporary folder, which other users share. Empty when neither exists.
QString guardFolder();

// What the guard's local server listens on for `name`. Off Windows a full path in the guard
// folder; one too long for a Unix socket falls back to a short path in /tmp that still holds
// the name, and with it this user's id.
QString guardServerName(const QString &name);
