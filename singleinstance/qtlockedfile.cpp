#include "singleinstance/qtlockedfile.h"

#include <QFileInfo>
#include <QtGlobal>

namespace QtLP_Private {

namespace {

constexpr int readerCount = 64;

} // namespace

QtLockedFile::QtLockedFile() = default;

QtLockedFile::QtLockedFile(const QString &name) : QFile(name) {}

QtLockedFile::~QtLockedFile()
{
    if (isOpen())
        unlock();
    if (writerMutex)
        NamedMutex::close(writerMutex);
}

bool QtLockedFile::open(OpenMode mode)
{
    if (mode & QIODevice::Truncate) {
        qWarning("QtLockedFile::open(): Truncate mode not allowed.");
        return false;
    }
    return QFile::open(mode);
}

bool QtLockedFile::lock(LockKind kind, bool block)
{
    if (!isOpen()) {
        qWarning("QtLockedFile::lock(): file is not opened");
        return false;
    }
    if (kind == Unlocked)
        return unlock();
    if (kind == currentMode)
        return true;
    if (currentMode != Unlocked)
        unlock();

    if (!writerMutex) {
        writerMutex = mutexFor(-1, true);
        if (!writerMutex)
            return false;
    }
    if (!waitOn(writerMutex, block))
        return false;

    if (kind == SharedLock) {
        for (int i = 0; i < readerCount && !readerMutex; ++i) {
            NamedMutex::Handle mutex = mutexFor(i, false);
            if (!mutex) {
                mutex = mutexFor(i, true);
                if (mutex && !waitOn(mutex, false)) {
                    NamedMutex::close(mutex);
                    mutex = nullptr;
                }
                if (!mutex) {
                    NamedMutex::release(writerMutex);
                    return false;
                }
                readerMutex = mutex;
            } else if (waitOn(mutex, false)) {
                readerMutex = mutex;
            } else {
                NamedMutex::close(mutex);
            }
        }
        // Readers do not keep the writer mutex; it only makes their search atomic.
        NamedMutex::release(writerMutex);
        if (!readerMutex) {
            qWarning("QtLockedFile::lock(): too many readers");
            return false;
        }
        currentMode = SharedLock;
        return true;
    }

    for (int i = 0; i < readerCount; ++i) {
        if (NamedMutex::Handle mutex = mutexFor(i, false))
            heldReaderMutexes.push_back(mutex);
    }
    if (!heldReaderMutexes.empty()) {
        const NamedMutex::WaitResult result = NamedMutex::waitForAll(heldReaderMutexes, block);
        if (result != NamedMutex::WaitResult::Acquired) {
            if (result == NamedMutex::WaitResult::Failed)
                qErrnoWarning(NamedMutex::lastError(),
                              "QtLockedFile::lock(): WaitForMultipleObjects failed");
            currentMode = ExclusiveLock;
            unlock();
            return false;
        }
    }
    currentMode = ExclusiveLock;
    return true;
}

bool QtLockedFile::unlock()
{
    if (!isOpen()) {
        qWarning("QtLockedFile::unlock(): file is not opened");
        return false;
    }
    if (!isLocked())
        return true;
    if (currentMode == SharedLock) {
        NamedMutex::release(readerMutex);
        NamedMutex::close(readerMutex);
        readerMutex = nullptr;
    } else {
        for (NamedMutex::Handle mutex : heldReaderMutexes) {
            NamedMutex::release(mutex);
            NamedMutex::close(mutex);
        }
        heldReaderMutexes.clear();
        NamedMutex::release(writerMutex);
    }
    currentMode = Unlocked;
    return true;
}

NamedMutex::Handle QtLockedFile::mutexFor(int index, bool create)
{
    if (mutexBaseName.isEmpty())
        mutexBaseName = QStringLiteral("QtLockedFile mutex ") +
                        QFileInfo(fileName()).absoluteFilePath().toLower();
    const QString name = index >= 0 ? mutexBaseName + QString::number(index) : mutexBaseName;

    if (create) {
        const NamedMutex::Handle mutex = NamedMutex::createOrOpen(name.toStdWString());
        if (!mutex)
            qErrnoWarning(NamedMutex::lastError(), "QtLockedFile::lock(): CreateMutex failed");
        return mutex;
    }
    bool missing = false;
    const NamedMutex::Handle mutex = NamedMutex::openExisting(name.toStdWString(), &missing);
    if (!mutex && !missing)
        qErrnoWarning(NamedMutex::lastError(), "QtLockedFile::lock(): OpenMutex failed");
    return mutex;
}

bool QtLockedFile::waitOn(NamedMutex::Handle mutex, bool block)
{
    switch (NamedMutex::wait(mutex, block)) {
    case NamedMutex::WaitResult::Acquired:
        return true;
    case NamedMutex::WaitResult::TimedOut:
        return false;
    case NamedMutex::WaitResult::Failed:
        break;
    }
    qErrnoWarning(NamedMutex::lastError(), "QtLockedFile::lock(): WaitForSingleObject failed");
    return false;
}

} // namespace QtLP_Private
