#pragma once

#include <QProcess>

#include <csignal>
#include <sys/prctl.h>

// A child that the kernel ends with the test process, so that a test killed by its time-out
// leaves no updater, service or X server behind.
inline void endWithTestProcess(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}
