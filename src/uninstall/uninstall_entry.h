// The product's entry in the system's list of installed programs.
#pragma once
#include <windows.h>

// Writes the entry under HKLM\...\Uninstall and records its key; false after a box.
bool RegisterUninstallEntry();
