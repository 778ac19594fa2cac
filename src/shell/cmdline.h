// The command line: install, -c, -u, and the secondary uninstaller's -p and -d.
#pragma once
#include <windows.h>

// The command line without the program name and the blanks behind it; an unquoted name may hold
// blanks when it is the path of this program (as Windows hands over an unquoted UninstallString).
const char *StripProgramName(const char *commandLine);
// Reads Run.CommandLineTail into the run state. False: rejected, the user was told.
bool ParseCommandLine();
// Whether the line holds -s: looked for before anything can show a box.
bool HasSilentSwitch(const char *tail);
