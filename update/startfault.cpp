#include "update/startfault.h"

#include "core/stagingoverrides.h"

StartFault takeStartFault()
{
    StartFault fault;
    static bool taken = false;
    int error = StagingOverrides::simulatedStartError().value_or(0);
    if (taken && error != 0)
        error = 0;
    else
        taken = error != 0;
    if (error == 740 || error == 1223)
        fault.createProcessError = 740;
    if (error == 1223)
        fault.shellExecuteError = 1223;
    return fault;
}
