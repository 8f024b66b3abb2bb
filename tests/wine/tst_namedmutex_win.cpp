// The Win32 layer of the single-instance guard, built with MinGW-w64 and run under Wine: the
// named mutexes that its shared and exclusive locks are made of, and the session id. The other
// process is this program again, started as "tst_namedmutex_win hold <parent pid> <session>".

#include "singleinstance/namedmutex.h"
#include "singleinstance/sessionid_win.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using Result = NamedMutex::WaitResult;
constexpr DWORD childWaitMs = 30000;
const wchar_t *const heldNames[] = {L"held 1", L"held 2", L"held 3", L"held 4"};

int passed = 0;
int failed = 0;
std::wstring prefix; // one per run of the parent, so that runs never meet

void check(bool ok, const char *what)
{
    std::printf("%s %s\n", ok ? "PASS" : "FAIL", what);
    ++(ok ? passed : failed);
}

std::wstring name(const wchar_t *suffix)
{
    return prefix + suffix;
}

HANDLE event(const wchar_t *suffix)
{
    return CreateEventW(nullptr, TRUE, FALSE, name(suffix).c_str());
}

NamedMutex opened(const wchar_t *suffix)
{
    bool missing = false;
    return NamedMutex::openExisting(name(suffix), &missing);
}

// The child: owns the held mutexes, says so and, when told to, releases the first one, then ends
// without releasing the others. The pauses let the parent's infinite waits wait.
int hold(const char *parentSession)
{
    unsigned long session = 0;
    const bool sameSession =
        currentSessionId(&session) && session == std::strtoul(parentSession, nullptr, 10);
    std::vector<NamedMutex> held;
    for (const wchar_t *suffix : heldNames) {
        held.push_back(NamedMutex::createOrOpen(name(suffix)));
        if (held.back().wait(false) != Result::Acquired)
            return 2;
    }
    SetEvent(event(L"ready"));
    if (WaitForSingleObject(event(L"go"), childWaitMs) != WAIT_OBJECT_0)
        return 3;
    Sleep(300);
    held.front().release();
    Sleep(300);
    return sameSession ? 0 : 4;
}

HANDLE startChild(unsigned long session)
{
    wchar_t path[MAX_PATH];
    if (!GetModuleFileNameW(nullptr, path, MAX_PATH))
        return nullptr;
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\" hold " +
                               std::to_wstring(GetCurrentProcessId()) + L" " +
                               std::to_wstring(session);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(path, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

void withinOneProcess()
{
    NamedMutex a = NamedMutex::createOrOpen(name(L"a"));
    NamedMutex again = NamedMutex::createOrOpen(name(L"a"));
    check(a.isValid() && again.isValid() && NamedMutex::lastError() == ERROR_ALREADY_EXISTS,
          "createOrOpen creates a mutex by name, then opens it");
    bool missing = false;
    NamedMutex none = NamedMutex::openExisting(name(L"none"), &missing);
    check(!none.isValid() && missing && NamedMutex::lastError() == ERROR_FILE_NOT_FOUND,
          "openExisting of a missing name: invalid, missing, ERROR_FILE_NOT_FOUND");
    check(a.wait(false) == Result::Acquired && a.release() && !a.release(),
          "a free mutex is acquired with time-out 0, and released once");
}

void againstAChild(unsigned long session)
{
    const HANDLE ready = event(L"ready");
    const HANDLE go = event(L"go");
    const HANDLE child = startChild(session);
    check(child && WaitForSingleObject(ready, childWaitMs) == WAIT_OBJECT_0,
          "a child process owns four mutexes");

    NamedMutex held1 = opened(heldNames[0]);
    check(held1.isValid() && held1.wait(false) == Result::TimedOut,
          "a mutex held by another process is not acquired with time-out 0");
    std::vector<NamedMutex> mixed;
    mixed.push_back(NamedMutex::createOrOpen(name(L"free")));
    mixed.push_back(opened(heldNames[1]));
    check(NamedMutex::waitForAll(mixed, false) == Result::TimedOut,
          "waitForAll with time-out 0 fails while one is held elsewhere");

    // Opened before the child ends: a name lives only while a handle to it is open.
    const HANDLE raw =
        OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name(heldNames[2]).c_str());
    NamedMutex held4 = opened(heldNames[3]);
    SetEvent(go);
    check(held1.wait(true) == Result::Acquired && held1.release(),
          "an infinite wait lasts until the other process releases");
    check(NamedMutex::waitForAll(mixed, true) == Result::Acquired && mixed[0].release() &&
              mixed[1].release(),
          "an infinite waitForAll lasts until the other process ends without releasing");
    DWORD exitCode = 1;
    const bool ended = child && WaitForSingleObject(child, childWaitMs) == WAIT_OBJECT_0;
    if (child && !ended)
        TerminateProcess(child, 1);
    check(ended && GetExitCodeProcess(child, &exitCode) && exitCode == 0,
          "the child ends without releasing, in the parent's session");

    check(WaitForSingleObject(raw, 0) == WAIT_ABANDONED && ReleaseMutex(raw),
          "the system reports the child's mutexes as abandoned");
    check(held4.wait(false) == Result::Acquired && held4.release(),
          "wait acquires a mutex abandoned by another process");
    for (const HANDLE handle : {raw, ready, go, child})
        if (handle)
            CloseHandle(handle);
}

} // namespace

int main(int argc, char *argv[])
{
    const bool isChild = argc == 4 && std::string(argv[1]) == "hold";
    prefix = L"GlimmerpaneWineTest " +
             std::to_wstring(isChild ? std::strtoul(argv[2], nullptr, 10) : GetCurrentProcessId()) +
             L" ";
    if (isChild)
        return hold(argv[3]);
    std::setvbuf(stdout, nullptr, _IONBF, 0); // every line out, even if a time limit ends us

    unsigned long session = 0;
    const bool known = currentSessionId(&session);
    std::printf("session id %lu\n", session);
    check(known, "the session id is known");
    withinOneProcess();
    againstAChild(session);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
