#include "singleinstance/guardfolder.h"

#include "core/stagingoverrides.h"
#include "singleinstance/logcategory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

struct Folder
{
    QString path;
    QString note;
    std::unique_ptr<QTemporaryDir> own; // removed at exit with what the guard put there
    bool settled = false;
};

QString uid()
{
    return QString::number(::getuid());
}

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

// The system's per-user runtime folder; staging builds let the tests put it in their sandbox.
QString userRuntimeFolder()
{
    const QString root = StagingOverrides::userRuntimeRoot().value_or(QStringLiteral("/run/user"));
    return root + QLatin1Char('/') + uid();
}

// A real folder (no link) of this user that nobody else may enter; `repair` closes one of ours
// that is open to others. Empty when it is, else why not.
QString privateFolderProblem(const QString &path, bool repair)
{
    const int fd =
        ::open(native(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return path + (errno == ENOENT ? QStringLiteral(" does not exist")
                                       : QStringLiteral(" is a link or not a folder"));
    struct stat status;
    QString problem;
    if (::fstat(fd, &status) != 0)
        problem = path + QStringLiteral(" cannot be read");
    else if (status.st_uid != ::getuid())
        problem = path + QStringLiteral(" belongs to user %1").arg(status.st_uid);
    else if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0 && (!repair || ::fchmod(fd, 0700) != 0))
        problem = path + QStringLiteral(" is open to other users");
    ::close(fd);
    return problem;
}

// What stands at `path` in the guard folder, if anything, must be this user's: a plain file with
// one name, or a private folder.
QString entryProblem(const QString &path, bool folder)
{
    struct stat status;
    if (::lstat(native(path).constData(), &status) != 0)
        return QString();
    if (folder)
        return privateFolderProblem(path, false);
    if (!S_ISREG(status.st_mode) || status.st_nlink != 1 || status.st_uid != ::getuid())
        return path + QStringLiteral(" is not a plain file of this user");
    return QString();
}

QString sharedFolder(QString *problem)
{
    const QString runtime = userRuntimeFolder();
    if (privateFolderProblem(runtime, false).isEmpty())
        return runtime;
    const QString temporary = QDir::tempPath();
    if (temporary.isEmpty()) {
        *problem = QStringLiteral("there is no temporary folder");
        return QString();
    }
    const QString ours = temporary + QStringLiteral("/glimmerpane-guard-") + uid();
    if (::mkdir(native(ours).constData(), 0700) != 0 && errno != EEXIST) {
        *problem = QStringLiteral("cannot create %1: %2")
                       .arg(ours, QString::fromLocal8Bit(std::strerror(errno)));
        return QString();
    }
    *problem = privateFolderProblem(ours, true);
    return problem->isEmpty() ? ours : QString();
}

Folder &folder()
{
    static Folder state;
    if (state.path.isEmpty() && state.note.isEmpty())
        state.path = sharedFolder(&state.note);
    return state;
}

} // namespace

QString guardFolder()
{
    return folder().path;
}

QString guardMutexFolder()
{
    const QString path = guardFolder();
    return path.isEmpty()
               ? path
               : path + QStringLiteral("/named-mutexes-") + QString::number(::getuid(), 16);
}

QString settleGuardFolder(const QString &lockName)
{
    Folder &state = folder();
    if (state.settled)
        return state.path;
    state.settled = true;
    if (state.note.isEmpty()) {
        state.note = entryProblem(state.path + QLatin1Char('/') + lockName, false);
        if (state.note.isEmpty())
            state.note = entryProblem(guardMutexFolder(), true);
        if (state.note.isEmpty())
            return state.path;
    }
    state.path.clear();
    const QString temporary = QDir::tempPath(); // empty when missing: never a folder in "/"
    if (!temporary.isEmpty())
        state.own = std::make_unique<QTemporaryDir>(
            temporary + QStringLiteral("/glimmerpane-guard-%1-XXXXXX").arg(uid()));
    if (state.own && state.own->isValid() &&
        privateFolderProblem(state.own->path(), false).isEmpty())
        state.path = state.own->path();
    qCWarning(lcSingleInstance,
              "Single-instance guard: %s; this start uses a folder of its own: %s",
              qPrintable(state.note),
              state.path.isEmpty() ? "none could be made" : qPrintable(state.path));
    return state.path;
}

QString guardFolderNote()
{
    return folder().note;
}

QString guardServerName(const QString &name)
{
    const QString path = guardFolder() + QLatin1Char('/') + name;
    if (native(path).size() < qsizetype(sizeof(sockaddr_un::sun_path)))
        return path;
    return QStringLiteral("/tmp/") + name;
}
