#include "singleinstance/sessionpart.h"

#include <QtGlobal>

#ifdef Q_OS_WIN

#include <QLibrary>
#include <qt_windows.h>

namespace {

using ProcessIdToSessionIdFunction = BOOL(WINAPI *)(DWORD, DWORD *);

// Resolved at run time; written only from the GUI thread, looked up again only while null.
ProcessIdToSessionIdFunction processIdToSessionId = nullptr;

} // namespace

QString sessionPart()
{
    if (!processIdToSessionId) {
        QLibrary kernel32(QStringLiteral("kernel32"));
        processIdToSessionId = reinterpret_cast<ProcessIdToSessionIdFunction>(
            kernel32.resolve("ProcessIdToSessionId"));
    }
    if (!processIdToSessionId)
        return QString();
    DWORD sessionId = 0;
    processIdToSessionId(GetCurrentProcessId(), &sessionId);
    return QString::number(sessionId, 16);
}

#endif // Q_OS_WIN
