// %Name% variables, the system folders they name, and the joining of paths.
#pragma once
#include <windows.h>

struct SystemFolderSet {
    char *WindowsDir;
    char *ProgramFilesDir;
    char *LocalProgramsFolder;
    char *CommonProgramsFolder;
};

extern SystemFolderSet SystemFolders;

struct Variable {
    const char *name;
    char **value;   // the run-wide text holding the value; null text = not known yet
};

// WindowsDir, ProgramFilesDir, LocalProgramsFolder, CommonProgramsFolder, InstallDir, AppName.
extern const Variable kVariableTable[];
const UINT kSystemFolderCount = 4;

bool ResolveSystemFolders();
// Replaces the table's %Name% (case-sensitive), then environment variables. destination holds
// MAX_PATH bytes; a result that does not fit is logged and left empty, so that every file
// operation on it fails with its own message instead of working on a cut path.
bool ExpandVariables(char *destination, const char *source);
// folder\name, both expanded; a name with a drive letter or a leading backslash stands alone.
char *JoinPath(char *destination, const char *folder, const char *name);
