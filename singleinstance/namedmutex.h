#pragma once

// Named system mutexes shared between processes of one user session: the few operations the
// locked file needs. Kept free of Qt so that the Windows side builds with a plain toolchain.

#include <string>
#include <vector>

// One open mutex, closed when the object goes. Move-only: a handle has exactly one owner.
class NamedMutex
{
public:
    enum class WaitResult {
        Acquired, // also when the previous owner ended without releasing it
        TimedOut,
        Failed
    };

    NamedMutex() = default;
    ~NamedMutex();
    NamedMutex(NamedMutex &&other) noexcept;
    NamedMutex &operator=(NamedMutex &&other) noexcept;
    NamedMutex(const NamedMutex &) = delete;
    NamedMutex &operator=(const NamedMutex &) = delete;

    // Creates the mutex, or opens it when it already exists. Invalid on failure.
    static NamedMutex createOrOpen(const std::wstring &name);
    // Opens the mutex only if it exists. Invalid on failure; *missing tells whether it did not
    // exist.
    static NamedMutex openExisting(const std::wstring &name, bool *missing);

    bool isValid() const { return object != nullptr; }

    // Waits for ownership, without limit when block is true, otherwise not at all.
    WaitResult wait(bool block);
    // Waits until all of the mutexes are owned at once, with the same time-out choice.
    static WaitResult waitForAll(std::vector<NamedMutex> &mutexes, bool block);
    bool release();

    // The system error code of the last failed operation, for qErrnoWarning.
    static int lastError();

private:
    struct Object; // a kernel mutex handle on Windows, a locked file elsewhere
    explicit NamedMutex(Object *object) : object(object) {}
    void close();

    Object *object = nullptr;
};
