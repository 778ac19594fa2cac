// Administrator rights (the two privileges driver work needs) and the restart of Windows.
#pragma once
#include <windows.h>

void RequireAdminRights();
// Enables SeLoadDriverPrivilege, then SeShutdownPrivilege; false after telling the user.
bool CheckAdminRights();
bool EnablePrivilege(const char *name);
void RestartWindows();
