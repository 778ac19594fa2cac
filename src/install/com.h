// COM for the shell-link shortcuts.
#pragma once
#include <windows.h>

// Started once per run, never shut down: the process ends with ExitProcess.
bool InitCom();
