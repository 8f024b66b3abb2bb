#pragma once

// Staging builds only: GLIMMERPANE_SIMULATE_START_ERROR=740 or 1223 makes the first installer
// start of this process fail the way real Windows fails it, which Wine never does. 740
// (ERROR_ELEVATION_REQUIRED) is what CreateProcessW answers for an installer that asks for
// administrator rights; 1223 (ERROR_CANCELLED) is what ShellExecuteExW answers when the user
// declines the elevation prompt, which only comes after that 740. Release builds read nothing.
struct StartFault
{
    unsigned long createProcessError = 0; // 0: the call runs as it is
    unsigned long shellExecuteError = 0;
};

// The fault for this start: the switch's at the first start while it is set, none at the starts
// after it (a start without it makes the next one with it the first again).
StartFault takeStartFault();
