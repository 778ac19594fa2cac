// The license dialog and the install-options dialog.
#pragma once
#include <windows.h>

const int kLicenseDialog = 101;
const int kInstallOptionsDialog = 102;
const int kLicenseText = 1000;
const int kInstallDirEdit = 1001;
const int kProgramGroupEdit = 1002;
const int kWarningText = 1003;
const int kAdvancedUserBox = 1005;
const int kHelpButton = 1006;

extern char HelpPath[MAX_PATH];

// True when accepted; false with UserQuit set when declined, false alone on a failure.
bool ShowLicenseDialog();
// True with InstallDir, ProgramGroup and AdvancedUser set; false as for the license dialog.
bool ShowInstallOptionsDialog();
