// The installation folder, the program group folder and the Start Menu shortcuts.
#pragma once
#include <windows.h>
#include "support/runstate.h"

RunStatus MakeFolder(const char *path);
// groupFolder receives the group's path (MAX_PATH bytes).
RunStatus MakeGroupFolder(const char *programGroup, char *groupFolder);
// The group folder and every LinkList shortcut in order.
RunStatus CreateLinks();
bool CreateShellLink(const char *folder, const char *name, const char *target, const char *arguments);
