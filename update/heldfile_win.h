#pragma once

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
    // Reads up to `size` bytes where the last read ended: their count, 0 at the end, -1 on an
    // error.
    long long read(char *buffer, unsigned long size);
    // Starts the file as a program of its own, without arguments, in the current folder, while
    // the file is still held; false when it cannot be started.
    bool startProcess();

private:
    std::wstring path;
    HANDLE handle;
};
