#include "uninstall/uninstaller.h"
#include "shell/tracelog.h"

// Uninstallation is not built yet: the run changes nothing and succeeds.
RunStatus RunUninstaller()
{
    LogLine(7, "Nothing to uninstall yet");
    return 0;
}
