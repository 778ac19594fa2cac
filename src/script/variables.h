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
// Replaces the table's %Name% (case-sensitive), then environment variables, into a MAX_PATH
// destination. A result that does not fit is never cut: the destination is left empty (every file
// operation on it fails), the log names it, the last error is ERROR_FILENAME_EXCED_RANGE, and
// when the caller gives its operation's message (a format with the path and "(%s)") a box shows
// it with the path cut to fit. False then.
bool ExpandVariables(char *destination, const char *source, const char *failure = NULL);
// folder\name, both expanded, the same way; a name with a drive letter or a leading backslash
// stands alone.
bool JoinPath(char *destination, const char *folder, const char *name, const char *failure = NULL);
