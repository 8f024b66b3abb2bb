#pragma once

#include <QString>

#include <functional>

// File steps that a virus scanner can hold up for a moment: it opens every fresh file, and
// while it reads, Windows answers a rename, a removal or an exclusive open with a sharing
// violation or access denied. Such a step is tried again with growing waits, for at most
// busyFileRetryMs() in all, and then fails as it would have at once. The waits block the
// caller's thread: they happen only while a scanner holds the file, and are short and bounded.
enum class FileStep {
    Done,
    Busy,   // held by someone else for now: worth another try
    Failed, // will not get better
};

constexpr int busyFileRetryMs()
{
    return 10000;
}
bool retryWhileBusy(const std::function<FileStep()> &step);

// QFile::remove and QFile::rename, retried while busy (Windows; elsewhere tried once).
bool removeWhenFree(const QString &path);
bool renameWhenFree(const QString &from, const QString &to);
