#include "update/heldfile_win.h"

#include "core/ownhandle_win.h"

#include <shellapi.h>

namespace {

// Not in every MinGW-w64 winerror.h.
constexpr DWORD elevationRequired = 740;

} // namespace

HeldFile::HeldFile(const std::wstring &path)
    : path(path), handle(openOwnHandle(path, GENERIC_READ, OPEN_EXISTING)),
      error(isOpen() ? 0 : GetLastError())
{}

HeldFile::~HeldFile()
{
    if (isOpen())
        CloseHandle(handle);
}

long long HeldFile::read(char *buffer, unsigned long size)
{
    DWORD count = 0;
    if (!isOpen() || !ReadFile(handle, buffer, size, &count, nullptr))
        return -1;
    return count;
}

DWORD HeldFile::startProcess(StartFault fault)
{
    if (!isOpen())
        return error;
    // The loader opens the image for reading and executing, which our sharing allows.
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (fault.createProcessError) {
        SetLastError(fault.createProcessError);
    } else if (CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                              CREATE_UNICODE_ENVIRONMENT | DETACHED_PROCESS |
                                  CREATE_NEW_PROCESS_GROUP,
                              nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return ERROR_SUCCESS;
    }
    const DWORD created = GetLastError();
    if (created != elevationRequired)
        return created;
    // What QProcess::startDetached falls back to: the shell's elevation prompt.
    SHELLEXECUTEINFOW shell = {};
    shell.cbSize = sizeof shell;
    shell.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    shell.lpVerb = L"runas";
    shell.lpFile = path.c_str();
    shell.nShow = SW_SHOWNORMAL;
    if (fault.shellExecuteError)
        return fault.shellExecuteError;
    return ShellExecuteExW(&shell) ? DWORD(ERROR_SUCCESS) : GetLastError();
}
