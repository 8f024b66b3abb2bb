#include "singleinstance/namedmutex.h"

#include "singleinstance/guardfolder.h"
#include "singleinstance/logcategory.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// One file per mutex name, owned through an exclusive flock on its own open file description.
// The kernel drops the flock when the owning process ends, which gives the abandoned case.
struct NamedMutex::Object
{
    int fd;
};

namespace {

int lastFailure = 0;

// Well below the usual 255-byte limit of a file name.
constexpr int maxEncodedNameLength = 200;

int fail(int error)
{
    lastFailure = error;
    return -1;
}

// Percent-encoding is one-to-one; names too long for it are hashed under another prefix,
// so the two kinds never meet.
QByteArray fileNameFor(const std::wstring &name)
{
    const QByteArray utf8 = QString::fromStdWString(name).toUtf8();
    const QByteArray encoded = utf8.toPercentEncoding();
    if (encoded.size() <= maxEncodedNameLength)
        return QByteArrayLiteral("n-") + encoded;
    return QByteArrayLiteral("h-") +
           QCryptographicHash::hash(utf8, QCryptographicHash::Sha256).toHex();
}

// Opens the folder, creating it when missing. Anything but a real folder that belongs to this
// user and that nobody else may enter would let another user steer or block the mutexes.
int openFolder()
{
    const QString path = guardMutexFolder();
    if (path.isEmpty()) {
        qCWarning(lcSingleInstance, "NamedMutex: the single-instance guard has no folder");
        return fail(ENOENT);
    }
    const QByteArray nativePath = QFile::encodeName(path);
    if (::mkdir(nativePath.constData(), 0700) != 0 && errno != EEXIST) {
        const int error = errno;
        qCWarning(lcSingleInstance, "NamedMutex: cannot create %s", nativePath.constData());
        return fail(error);
    }
    const int folder =
        ::open(nativePath.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat status;
    if (folder < 0 || ::fstat(folder, &status) != 0 || status.st_uid != ::getuid() ||
        (status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        const int error = folder < 0 ? errno : EPERM;
        if (folder >= 0)
            ::close(folder);
        qCWarning(lcSingleInstance, "NamedMutex: refusing %s: not a private folder of this user",
                  nativePath.constData());
        return fail(error);
    }
    return folder;
}

int openFile(const std::wstring &name, bool create, bool *missing)
{
    *missing = false;
    const int folder = openFolder();
    if (folder < 0)
        return -1;
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0);
    const int fd = ::openat(folder, fileNameFor(name).constData(), flags, 0600);
    const int error = errno;
    ::close(folder);
    if (fd < 0) {
        *missing = !create && error == ENOENT;
        return fail(error);
    }
    return fd;
}

} // namespace

NamedMutex NamedMutex::createOrOpen(const std::wstring &name)
{
    bool missing = false;
    const int fd = openFile(name, true, &missing);
    return fd < 0 ? NamedMutex() : NamedMutex(new Object{fd});
}

NamedMutex NamedMutex::openExisting(const std::wstring &name, bool *missing)
{
    const int fd = openFile(name, false, missing);
    return fd < 0 ? NamedMutex() : NamedMutex(new Object{fd});
}

NamedMutex::WaitResult NamedMutex::wait(bool block)
{
    for (;;) {
        if (::flock(object->fd, LOCK_EX | (block ? 0 : LOCK_NB)) == 0)
            return WaitResult::Acquired;
        if (errno == EWOULDBLOCK)
            return WaitResult::TimedOut;
        if (errno != EINTR) {
            fail(errno);
            return WaitResult::Failed;
        }
    }
}

// Blocking takes the mutexes one after the other in the given order; without blocking it is
// all or nothing. Either way nothing stays taken unless all are.
NamedMutex::WaitResult NamedMutex::waitForAll(std::vector<NamedMutex> &mutexes, bool block)
{
    for (std::size_t taken = 0; taken < mutexes.size(); ++taken) {
        const WaitResult result = mutexes[taken].wait(block);
        if (result != WaitResult::Acquired) {
            while (taken > 0)
                mutexes[--taken].release();
            return result;
        }
    }
    return WaitResult::Acquired;
}

bool NamedMutex::release()
{
    if (::flock(object->fd, LOCK_UN) == 0)
        return true;
    fail(errno);
    return false;
}

void NamedMutex::close()
{
    if (!object)
        return;
    ::close(object->fd);
    delete object;
    object = nullptr;
}

int NamedMutex::lastError()
{
    return lastFailure;
}
