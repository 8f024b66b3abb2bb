#ifdef _WIN32

#include "singleinstance/namedmutex.h"

#include <windows.h>

namespace NamedMutex {

namespace {

HANDLE native(Handle mutex)
{
    return static_cast<HANDLE>(static_cast<void *>(mutex));
}

Handle wrap(HANDLE mutex)
{
    return static_cast<Handle>(static_cast<void *>(mutex));
}

} // namespace

Handle createOrOpen(const std::wstring &name)
{
    return wrap(CreateMutexW(nullptr, FALSE, name.c_str()));
}

Handle openExisting(const std::wstring &name, bool *missing)
{
    const HANDLE mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str());
    *missing = !mutex && GetLastError() == ERROR_FILE_NOT_FOUND;
    return wrap(mutex);
}

WaitResult wait(Handle mutex, bool block)
{
    switch (WaitForSingleObject(native(mutex), block ? INFINITE : 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
        return WaitResult::Acquired;
    case WAIT_TIMEOUT:
        return WaitResult::TimedOut;
    default:
        return WaitResult::Failed;
    }
}

WaitResult waitForAll(const std::vector<Handle> &mutexes, bool block)
{
    std::vector<HANDLE> handles;
    handles.reserve(mutexes.size());
    for (Handle mutex : mutexes)
        handles.push_back(native(mutex));
    const DWORD count = static_cast<DWORD>(handles.size());
    const DWORD result = WaitForMultipleObjects(count, handles.data(), TRUE, block ? INFINITE : 0);
    // When waiting for all, any index in either range means every mutex is now owned.
    if (result < WAIT_OBJECT_0 + count ||
        (result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + count))
        return WaitResult::Acquired;
    return result == WAIT_TIMEOUT ? WaitResult::TimedOut : WaitResult::Failed;
}

bool release(Handle mutex)
{
    return ReleaseMutex(native(mutex)) != FALSE;
}

void close(Handle mutex)
{
    CloseHandle(native(mutex));
}

int lastError()
{
    return static_cast<int>(GetLastError());
}

} // namespace NamedMutex

#endif // _WIN32
