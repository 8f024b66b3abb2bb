#ifdef _WIN32

#include "singleinstance/sessionid_win.h"

#include <windows.h>

bool currentSessionId(unsigned long *sessionId)
{
    using ProcessIdToSessionIdFunction = BOOL(WINAPI *)(DWORD, DWORD *);
    // kernel32 is mapped into every process, so there is nothing to load or free.
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (!kernel32)
        return false;
    // Through void (*)() so that the compiler accepts the cast to the real signature.
    const auto processIdToSessionId = reinterpret_cast<ProcessIdToSessionIdFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "ProcessIdToSessionId")));
    DWORD id = 0;
    if (!processIdToSessionId || !processIdToSessionId(GetCurrentProcessId(), &id))
        return false;
    *sessionId = id;
    return true;
}

#endif // _WIN32
