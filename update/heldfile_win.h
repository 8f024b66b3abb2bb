#pragma once

#include "update/startfault.h"

#include <windows.h>

#include <string>

// A file opened once and shared for reading only: until it is closed, any other attempt to open
// it for writing, to rename it or to delete it ends in ERROR_SHARING_VIOLATION, and it cannot be
// opened at all while someone else still has it open for writing. What is read through it and
// what is started from it are therefore the same bytes. No Qt, so that it is tested under Wine.
class HeldFile
{
public:
    explicit HeldFile(const std::wstring &path);
    ~HeldFile();
    HeldFile(const HeldFile &) = delete;
    HeldFile &operator=(const HeldFile &) = delete;

    bool isOpen() const { return handle != INVALID_HANDLE_VALUE; }
    // Why the open failed (GetLastError), 0 when it did not.
    DWORD openError() const { return error; }
    // Reads up to `size` bytes where the last read ended: their count, 0 at the end, -1 on an
    // error.
    long long read(char *buffer, unsigned long size);
    // Starts the file as a program of its own, without arguments, in the current folder, while
    // the file is still held: ERROR_SUCCESS, or why not (ERROR_CANCELLED: the user declined the
    // elevation prompt). A program that asks for administrator rights is started through the
    // shell's "runas", which shows that prompt; our sharing allows the elevated loader's read.
    // `fault` stands in for the answers of real Windows that Wine never gives.
    DWORD startProcess(StartFault fault = {});

private:
    std::wstring path;
    HANDLE handle;
    DWORD error;
};
