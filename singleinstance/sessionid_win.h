#pragma once

// The Windows session id of this process, found without Qt so that the Windows layer builds and
// runs with a plain toolchain. ProcessIdToSessionId is resolved at run time. False when the
// system cannot tell.
bool currentSessionId(unsigned long *sessionId);
