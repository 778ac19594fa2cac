#include "install/install_product.h"
#include "script/script_reader.h"
#include "shell/tracelog.h"

RunStatus InstallProduct()
{
    RunStatus status;
    StatusInit(&status);
    if (!ReadSetupScript()) {
        StatusSetFailed(&status);
        return status;
    }
    // The installation steps after the script are not built yet: nothing is changed.
    LogLine(7, "Nothing to install yet");
    return status;
}
