#include "shell/cmdline.h"
#include "shell/runflow.h"
#include "support/runstate.h"

// The process entry: the run state's command line is everything after the program name.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    Run.CommandLineTail = StripProgramName(GetCommandLineA());
    ExitProcess((UINT)StartUp());
    return 0;
}
