// The two-process uninstaller: the primary (the copy in the installation folder) removes the
// devices and hands over to a secondary copy in the temporary folder, which removes the rest,
// the primary's own file included.
#pragma once
#include <windows.h>
#include "support/runstate.h"

const DWORD kNoPrimary = 0xFFFFFFFF;           // a secondary started by hand

RunStatus RunUninstaller();
// Creates (primary) or opens (secondary) the event named after InstallDir; null after a box.
HANDLE OpenSyncEvent(bool openExisting);
// Whether the command interpreter that starts the secondary from Vista on can read the temporary
// folder's and the installation folder's names in its batch file; false after a box.
bool CheckInterpreterNames();
// Starts the secondary from a temporary copy; true once it has signalled.
bool StartSecondary(HANDLE syncEvent);
// " -u -p %08X -d \"%s\"" into a buffer of kSecondaryArgumentsSize bytes; false when it does not fit.
const UINT kSecondaryArgumentsSize = MAX_PATH + 32;
bool FormatSecondaryArguments(char *arguments, DWORD primaryPid, const char *installDir);
