#pragma once

#include <QtGlobal>

// Every bound the updater puts on time and size, in one place. In staging builds the
// environment variable GLIMMERPANE_TIME_LIMIT_MS, when set to a positive number of
// milliseconds, shortens every time limit to at most that, so that tests of a stalled peer
// take moments instead of minutes. Sizes never change.
namespace Limits {

// A version check that has not finished by then is abandoned.
int versionCheckDeadlineMs();
// A version reply body larger than this is abandoned.
qint64 versionReplyMaxBytes();
// An installer download that receives no byte for this long has failed.
int transferInactivityMs();
// A back-off wait before a download retry, and all of them in one download together.
int downloadRetryWaitMs(int milliseconds);
int downloadRetryWaitTotalMs();
// The longest wait a server's Retry-After may ask for, in whole seconds.
int retryAfterMaxSeconds();
// Free space kept on the update folder's volume beyond the installer itself.
qint64 diskSpaceMarginBytes();
// An update log this large is set aside at start ("update.log.1") and a new one begun.
qint64 updateLogMaxBytes();
// All waiting of the single-instance guard for one incoming message.
int peerMessageWaitMs();
// The largest message the single-instance guard accepts.
quint32 peerMessageMaxBytes();

} // namespace Limits
