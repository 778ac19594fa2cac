// The trace log: one time-stamped, flushed line per call; and the run's own folders.
#pragma once
#include <windows.h>
#include <stdarg.h>

// Levels: 2 COM, 3 driver-module calls, 4 libraries, 5 values and paths, 6 settings chosen,
// 7 actions and user-visible events, 8 banner and system, 9 errors and warnings.
const DWORD kLogError = 9;

// Appends one line while the log is open; keeps the thread's last-error code.
bool LogLine(DWORD level, const char *format, ...);
bool LogLineV(DWORD level, const char *format, va_list arguments);

bool GetTempDir();
bool GetModulePaths();
bool CreateTraceLog();
void DeleteTraceLog();
// path: room for TempDir, '\\', a GUID text, '.', the extension and the terminator.
HANDLE CreateTempFile(char *path, const char *extension);
