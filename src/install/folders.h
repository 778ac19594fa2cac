// The installation folder, the program group folder and the Start Menu shortcuts.
#pragma once
#include <windows.h>
#include "support/runstate.h"

// The folder and its missing parents (recorded as such). An existing folder is taken over only
// when takeExisting is set (an upgrade into the earlier version's folder) or an advanced user agrees.
RunStatus MakeFolder(const char *path, bool takeExisting = false);
// groupFolder receives the group's path (MAX_PATH bytes).
RunStatus MakeGroupFolder(const char *programGroup, char *groupFolder);
// The group folder and every LinkList shortcut in order.
RunStatus CreateLinks();
bool CreateShellLink(const char *folder, const char *name, const char *target, const char *arguments);
