#pragma once

#include "singleinstance/namedmutex.h"

#include <QFile>
#include <QString>

#include <vector>

namespace QtLP_Private {

// A file with shared and exclusive locks that hold across processes. The locks live in named
// mutexes derived from the file's path: one writer mutex and 64 reader mutexes. A reader owns
// one free reader mutex; the writer owns the writer mutex and every reader mutex there is.
class QtLockedFile : public QFile
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtLockedFile)

public:
    enum LockKind { Unlocked = 0, SharedLock = 1, ExclusiveLock = 2 };

    QtLockedFile();
    explicit QtLockedFile(const QString &name);
    ~QtLockedFile() override;

    // Truncating would destroy what another process reads under its lock, so it is refused.
    bool open(OpenMode mode) override;

    bool lock(LockKind kind, bool block = true);
    bool unlock();
    bool isLocked() const { return currentMode != Unlocked; }
    LockKind lockMode() const { return currentMode; }

private:
    NamedMutex mutexFor(int index, bool create);
    static bool waitOn(NamedMutex &mutex, bool block);

    NamedMutex writerMutex;
    NamedMutex readerMutex;
    std::vector<NamedMutex> heldReaderMutexes;
    QString mutexBaseName;
    LockKind currentMode = Unlocked;
};

} // namespace QtLP_Private
