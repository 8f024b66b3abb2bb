#include "singleinstance/sessionpart.h"

#include <QtGlobal>

#ifdef Q_OS_WIN

#include "singleinstance/sessionid_win.h"

QString sessionPart()
{
    unsigned long sessionId = 0;
    return currentSessionId(&sessionId) ? QString::number(sessionId, 16) : QString();
}

#endif // Q_OS_WIN
