#ifdef _WIN32

#include "singleinstance/namedmutex.h"

#include <windows.h>

// The object pointer is the kernel handle itself; nothing is allocated.
namespace {

HANDLE native(const void *object)
{
    return const_cast<void *>(object);
}

} // namespace

NamedMutex NamedMutex::createOrOpen(const std::wstring &name)
{
    return NamedMutex(static_cast<Object *>(CreateMutexW(nullptr, FALSE, name.c_str())));
}

NamedMutex NamedMutex::openExisting(const std::wstring &name, bool *missing)
{
    const HANDLE mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str());
    *missing = !mutex && GetLastError() == ERROR_FILE_NOT_FOUND;
    return NamedMutex(static_cast<Object *>(mutex));
}

NamedMutex::WaitResult NamedMutex::wait(bool block)
{
    switch (WaitForSingleObject(native(object), block ? INFINITE : 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
        return WaitResult::Acquired;
    case WAIT_TIMEOUT:
        return WaitResult::TimedOut;
    default:
        return WaitResult::Failed;
    }
}

NamedMutex::WaitResult NamedMutex::waitForAll(std::vector<NamedMutex> &mutexes, bool block)
{
    std::vector<HANDLE> handles;
    handles.reserve(mutexes.size());
    for (const NamedMutex &mutex : mutexes)
        handles.push_back(native(mutex.object));
    const DWORD count = static_cast<DWORD>(handles.size());
    const DWORD result = WaitForMultipleObjects(count, handles.data(), TRUE, block ? INFINITE : 0);
    // When waiting for all, any index in either range means every mutex is now owned.
    if (result < WAIT_OBJECT_0 + count ||
        (result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + count))
        return WaitResult::Acquired;
    return result == WAIT_TIMEOUT ? WaitResult::TimedOut : WaitResult::Failed;
}

bool NamedMutex::release()
{
    return ReleaseMutex(native(object)) != FALSE;
}

void NamedMutex::close()
{
    if (object)
        CloseHandle(native(object));
    object = nullptr;
}

int NamedMutex::lastError()
{
    return static_cast<int>(GetLastError());
}

#endif // _WIN32
