#include "singleinstance/sessionpart.h"

#include <QtGlobal>

#ifdef Q_OS_WIN

#include "singleinstance/sessionid_win.h"

QString sessionPart()
{
    // Always a suffix: 0 when the query fails, as the server name's form asks.
    unsigned long sessionId = 0;
    currentSessionId(&sessionId); // leaves it alone on failure
    return QString::number(sessionId, 16);
}

#endif // Q_OS_WIN
