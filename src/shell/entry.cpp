#include "shell/cmdline.h"
#include "shell/runflow.h"
#include "support/runstate.h"

// The process entry, called by the loader itself: no C runtime starts before it, so the program
// has no static constructors and uses no C library (the link checks both). The run state's
// command line is everything after the program name.
extern "C" void ProcessEntry()
{
    Run.CommandLineTail = StripProgramName(GetCommandLineA());
    ExitProcess((UINT)StartUp());
}
