#include "update/heldfile_win.h"

HeldFile::HeldFile(const std::wstring &path)
    : path(path), handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
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

bool HeldFile::startProcess()
{
    if (!isOpen())
        return false;
    // The loader opens the image for reading and executing, which our sharing allows.
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT | DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP,
                        nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
