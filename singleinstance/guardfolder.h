#pragma once

#include <QString>

// Where the single-instance guard keeps its lock file, its named-mutex folder and, off Windows,
// its socket. On Windows the user's temporary folder. Elsewhere one folder per user that every
// start finds, whatever its environment says: /run/user/<uid> when that is a real folder of this
// user closed to everybody else, otherwise "glimmerpane-guard-<uid>" in the temporary folder,
// made 0700 and checked after it is made. Empty when there is none.
QString guardFolder();

// Settles the folder for the lock file `lockName`. When the folder or what already stands at the
// lock file's or the mutex folder's name is not this user's own (another user can make them
// in a shared temporary folder), this start takes a private folder of its own instead, with a
// warning, rather than let someone else decide that another updater runs.
QString settleGuardFolder(const QString &lockName);

// The named mutexes' folder in the guard folder (off Windows); empty without a guard folder.
QString guardMutexFolder();

// Why this start uses a folder of its own; empty when it uses the shared one.
QString guardFolderNote();

// What the guard's local server listens on for `name`. Off Windows a full path in the guard
// folder; one too long for a Unix socket falls back to a short path in /tmp that still holds
// the name, and with it this user's id.
QString guardServerName(const QString &name);
