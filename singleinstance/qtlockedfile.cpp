#include "singleinstance/qtlockedfile.h"

#include "singleinstance/logcategory.h"

#include <QFileInfo>
#include <QtGlobal>

#include <utility>

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
}

bool QtLockedFile::open(OpenMode mode)
{
    if (mode & QIODevice::Truncate) {
        qCWarning(lcSingleInstance, "QtLockedFile::open(): Truncate mode not allowed.");
        return false;
    }
    return QFile::open(mode);
}

bool QtLockedFile::lock(LockKind kind, bool block)
{
    if (!isOpen()) {
        qCWarning(lcSingleInstance, "QtLockedFile::lock(): file is not opened");
        return false;
    }
    if (kind == Unlocked)
        return unlock();
    if (kind == currentMode)
        return true;

    if (!writerMutex.isValid()) {
        writerMutex = mutexFor(-1, true);
        if (!writerMutex.isValid())
            return false;
    }
    if (!waitOn(writerMutex, block))
        return false;

    for (int i = 0; i < readerCount; ++i) {
        NamedMutex mutex = mutexFor(i, false);
        if (mutex.isValid())
            heldReaderMutexes.push_back(std::move(mutex));
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
        qCWarning(lcSingleInstance, "QtLockedFile::unlock(): file is not opened");
        return false;
    }
    if (!isLocked())
        return true;
    for (NamedMutex &mutex : heldReaderMutexes)
        mutex.release();
    heldReaderMutexes.clear();
    writerMutex.release();
    currentMode = Unlocked;
    return true;
}

NamedMutex QtLockedFile::mutexFor(int index, bool create)
{
    if (mutexBaseName.isEmpty())
        mutexBaseName = QStringLiteral("QtLockedFile mutex ") +
                        QFileInfo(fileName()).absoluteFilePath().toLower();
    const QString name = index >= 0 ? mutexBaseName + QString::number(index) : mutexBaseName;

    if (create) {
        NamedMutex mutex = NamedMutex::createOrOpen(name.toStdWString());
        if (!mutex.isValid())
            qErrnoWarning(NamedMutex::lastError(), "QtLockedFile::lock(): CreateMutex failed");
        return mutex;
    }
    bool missing = false;
    NamedMutex mutex = NamedMutex::openExisting(name.toStdWString(), &missing);
    if (!mutex.isValid() && !missing)
        qErrnoWarning(NamedMutex::lastError(), "QtLockedFile::lock(): OpenMutex failed");
    return mutex;
}

bool QtLockedFile::waitOn(NamedMutex &mutex, bool block)
{
    switch (mutex.wait(block)) {
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
