// The two-process uninstaller: the primary (the copy in the installation folder) removes the
// devices and hands over to a secondary copy in a folder of its own that only administrators can
// change, which removes the rest, the primary's own file included.
#pragma once
#include <windows.h>
#include "support/runstate.h"

const DWORD kNoPrimary = 0xFFFFFFFF;           // a secondary started by hand

RunStatus RunUninstaller();
// Creates (primary) or opens (secondary) the event named after InstallDir; null after a box.
HANDLE OpenSyncEvent(bool openExisting);
// In the secondary, as the process ends: from Vista on the command interpreter removes the folder
// it runs from once it has ended (a program cannot delete its own running file).
void RemoveOwnFolderLater();
// " -u -p %08X -d \"%s\"", and " -s" for a silent run, into a buffer of kSecondaryArgumentsSize
// bytes; false when it does not fit.
const UINT kSecondaryArgumentsSize = MAX_PATH + 32;
bool FormatSecondaryArguments(char *arguments, DWORD primaryPid, const char *installDir, bool silent);
