#include "core/limits.h"

#include "core/stagingoverrides.h"

namespace {

int shortened(int milliseconds)
{
    const std::optional<int> cap = StagingOverrides::timeLimitMs();
    return cap ? qMin(milliseconds, *cap) : milliseconds;
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
