// The run's own folders and its trace log file.
#pragma once
#include <windows.h>

bool GetTempDir();
bool GetModulePaths();
// Opens the time-stamped trace log in TempDir (with the process id when another run has that
// second's name); false after a box.
bool CreateTraceLog();
void DeleteTraceLog();
