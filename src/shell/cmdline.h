// The command line: install, -c, -u, and the secondary uninstaller's -p and -d.
#pragma once
#include <windows.h>

// The command line without the program name and the blanks behind it.
const char *StripProgramName(const char *commandLine);
// Reads Run.CommandLineTail into the run state. False: rejected, the user was told.
bool ParseCommandLine();
