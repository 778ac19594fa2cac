// The run's own folder for what runs or is read back with administrator rights (the uninstaller's
// copy of the program). It lies in the system's temporary folder, not the user's, and only
// administrators and the system may change it: a program the user runs without elevation can
// neither swap a file in it nor rename the folder away between the writing and the use. Its
// path holds no user name.
#pragma once
#include <windows.h>

// The folders' names: "brindlework_setup_" and a GUID.
extern const char kWorkFolderPrefix[];

// The system's temporary folder, %SystemRoot%\Temp (MAX_PATH bytes, no trailing backslash).
bool GetSystemTempDir(char *path);
// This run's folder, made on the first call and held while the process lives (no other run
// removes it meanwhile); null after a box.
const char *WorkFolder();
// Whether the folder is one that a run made (a work folder in the system's temporary folder).
bool IsWorkFolder(const char *folder);
// The run's folder stays when the process ends: a program started from it removes it.
void KeepWorkFolder();
// The run's folder and what it holds are removed at the end of the run, unless kept.
void DropWorkFolder();
// Removes what earlier runs left behind (a crash, a kill); a folder still in use stays.
void RemoveStaleWorkFolders();
