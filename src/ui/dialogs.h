// The license dialog and the install-options dialog.
#pragma once
#include <windows.h>

extern char HelpPath[MAX_PATH];

// True when accepted; false with UserQuit set when declined, false alone on a failure.
bool ShowLicenseDialog();
// True with InstallDir, ProgramGroup and AdvancedUser set; false as for the license dialog. The
// notice (null: the usual warning) and the proposed folder (null: DefaultInstallDir) tell of an
// earlier version that will be removed.
bool ShowInstallOptionsDialog(const char *notice, const char *proposedFolder);
