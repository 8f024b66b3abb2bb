#pragma once

// Named system mutexes shared between processes of one user session: the few operations the
// locked file needs. Kept free of Qt so that the Windows side builds with a plain toolchain.

#include <string>
#include <vector>

namespace NamedMutex {

struct Object; // a kernel mutex on Windows, a locked file elsewhere
using Handle = Object *;

enum class WaitResult {
    Acquired, // also when the previous owner ended without releasing it
    TimedOut,
    Failed
};

// Creates the mutex, or opens it when it already exists. Null on failure.
Handle createOrOpen(const std::wstring &name);

// Opens the mutex only if it exists. Null on failure; *missing tells whether it did not exist.
Handle openExisting(const std::wstring &name, bool *missing);

// Waits for ownership, without limit when block is true, otherwise not at all.
WaitResult wait(Handle mutex, bool block);

// Waits until all of the mutexes are owned at once, with the same time-out choice.
WaitResult waitForAll(const std::vector<Handle> &mutexes, bool block);

bool release(Handle mutex);
void close(Handle mutex);

// The system error code of the last failed operation, for qErrnoWarning.
int lastError();

} // namespace NamedMutex
