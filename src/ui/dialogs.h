// The license dialog and the install-options dialog.
#pragma once
#include <windows.h>

extern char HelpPath[MAX_PATH];

// True when accepted; false with UserQuit set when declined, false alone on a failure.
bool ShowLicenseDialog();
// True with InstallDir, ProgramGroup and AdvancedUser set; false as for the license dialog.
bool ShowInstallOptionsDialog();
