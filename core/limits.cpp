#include "core/limits.h"

namespace {

int shortened(int milliseconds)
{
#ifdef GLIMMERPANE_STAGING_OVERRIDES
    bool ok = false;
    const int cap = qEnvironmentVariableIntValue("GLIMMERPANE_TIME_LIMIT_MS", &ok);
    if (ok && cap > 0)
        return qMin(milliseconds, cap);
#endif
    return milliseconds;
}

} // namespace

namespace Limits {

int versionCheckDeadlineMs()
{
    return shortened(30000);
}

qint64 versionReplyMaxBytes()
{
    return 1024 * 1024;
}

int transferInactivityMs()
{
    return shortened(60000);
}

int downloadRetryWaitMs(int milliseconds)
{
    return shortened(milliseconds);
}

int downloadRetryWaitTotalMs()
{
    return shortened(75000);
}

int retryAfterMaxSeconds()
{
    return 60;
}

qint64 diskSpaceMarginBytes()
{
    return 16 * 1024 * 1024;
}

qint64 updateLogMaxBytes()
{
    return 1024 * 1024;
}

int peerMessageWaitMs()
{
    return shortened(30000);
}

quint32 peerMessageMaxBytes()
{
    // The only message is a short command; anything longer is not from a well-behaved sender.
    return 64 * 1024;
}

} // namespace Limits
