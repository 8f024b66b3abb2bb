#include "update/startfault.h"

#include <QtGlobal>

StartFault takeStartFault()
{
    StartFault fault;
#ifdef GLIMMERPANE_STAGING_OVERRIDES
    static bool taken = false;
    int error = qEnvironmentVariableIntValue("GLIMMERPANE_SIMULATE_START_ERROR");
    if (taken && error != 0)
        error = 0;
    else
        taken = error != 0;
    if (error == 740 || error == 1223)
        fault.createProcessError = 740;
    if (error == 1223)
        fault.shellExecuteError = 1223;
#endif
    return fault;
}
