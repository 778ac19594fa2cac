// Start-up and shutdown of the support library, with its at-exit list.
#pragma once
#include <windows.h>

typedef bool (*LibInitFunction)();
typedef void (*AtExitFunction)();

// functions: further init functions, ending in a null entry (or null for none).
bool LibInit(const LibInitFunction *functions);
void LibShutdown();
bool LibAtExit(AtExitFunction function);
