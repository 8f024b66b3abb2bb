#include "app/startupnotes.h"

#include "core/updatelog.h"
#include "singleinstance/guardfolder.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

void ignoreFileSizeSignal()
{
#ifdef Q_OS_UNIX
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

void logGuardFolderNote()
{
    const QString note = guardFolderNote();
    if (!note.isEmpty())
        writeUpdateLog(
            QStringLiteral("single instance guard: %1; this start uses a folder of its own")
                .arg(note));
}
