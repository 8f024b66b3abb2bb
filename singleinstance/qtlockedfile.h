#pragma once

#include "singleinstance/namedmutex.h"

#include <QFile>
#include <QString>

#include <vector>

namespace QtLP_Private {

// A file with an exclusive lock that holds across processes. The lock lives in named mutexes
// derived from the file's path: one writer mutex and up to 64 reader mutexes. The holder owns
// the writer mutex and every reader mutex there is, so a process that reads under the same
// scheme keeps it out.
class QtLockedFile : public QFile
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtLockedFile)

public:
    enum LockKind { Unlocked, ExclusiveLock };

    QtLockedFile();
    explicit QtLockedFile(const QString &name);
    ~QtLockedFile() override;

    // Truncating would destroy what another process reads under its lock, so it is refused.
    bool open(OpenMode mode) override;

    bool lock(LockKind kind, bool block = true);
    bool unlock();
    bool isLocked() const { return currentMode != Unlocked; }

private:
    NamedMutex mutexFor(int index, bool create);
    static bool waitOn(NamedMutex &mutex, bool block);

    NamedMutex writerMutex;
    std::vector<NamedMutex> heldReaderMutexes;
    QString mutexBaseName;
    LockKind currentMode = Unlocked;
};

} // namespace QtLP_Private
