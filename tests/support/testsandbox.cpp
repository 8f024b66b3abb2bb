#include "tests/support/testsandbox.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>

#include <memory>

namespace {

QString sandboxPath;
std::unique_ptr<QTemporaryDir> sandbox; // removed at exit with everything in it

void point(const char *variable, const QString &folder)
{
    QDir().mkpath(folder);
    qputenv(variable, QFile::encodeName(folder));
}

} // namespace

QString enterTestSandbox()
{
    if (!sandboxPath.isEmpty())
        return sandboxPath;
    // Made below the original temporary folder, then TMPDIR is moved inside it.
    sandbox = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                              QStringLiteral("/glimmerpane-test-XXXXXX"));
    if (!sandbox->isValid())
        qFatal("cannot create the test sandbox below %s", qPrintable(QDir::tempPath()));
    sandbox->setAutoRemove(qEnvironmentVariableIsEmpty("GLIMMERPANE_KEEP_SANDBOX"));
    sandboxPath = sandbox->path();
    point("HOME", sandboxPath + QStringLiteral("/home"));
    point("XDG_DATA_HOME", sandboxPath + QStringLiteral("/home/.local/share"));
    point("XDG_CONFIG_HOME", sandboxPath + QStringLiteral("/home/.config"));
    point("XDG_CACHE_HOME", sandboxPath + QStringLiteral("/home/.cache"));
    point("XDG_STATE_HOME", sandboxPath + QStringLiteral("/home/.local/state"));
    point("XDG_RUNTIME_DIR", sandboxPath + QStringLiteral("/runtime"));
    QFile::setPermissions(sandboxPath + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    point("TMPDIR", sandboxPath + QStringLiteral("/tmp"));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(sandboxPath + QStringLiteral("/share")));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(sandboxPath + QStringLiteral("/etc")));
    return sandboxPath;
}

QString testSandboxPath()
{
    return sandboxPath;
}
