// Start-up, the run flow and its final report.
#pragma once
#include "support/runstate.h"

// The process's exit code: 0 success, 1 warnings or failure, 2 setup API not bound; silent, 3010
// success that needs a restart.
int StartUp();
int RunFlow();

// "Installation completed successfully." and its relatives.
void ComposeReport(char *text, bool installMode, bool finalPhase, RunStatus status);
// The report box's icon; 0 for a primary uninstaller process that only hands over.
UINT ReportFlags(bool finalPhase, RunStatus status);
// The allocation-failure hook: tells the user and ends the process with exit code 99.
DWORD ShowAllocFailure(ULONGLONG size);
