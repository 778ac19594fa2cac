// The trace log writer: one time-stamped, flushed line per call into the run's open log.
#pragma once
#include <windows.h>
#include <stdarg.h>

// Levels by use; every level is written, level 9 and above are marked as error lines.
const DWORD kLogCom = 2;          // start of COM
const DWORD kLogDriverCall = 3;   // calls into a legacy driver module
const DWORD kLogLibrary = 4;      // loading and unloading system libraries
const DWORD kLogValue = 5;        // values and paths
const DWORD kLogSetting = 6;      // the settings chosen for this installation
const DWORD kLogAction = 7;       // changes to the system, dialogs and message boxes
const DWORD kLogBanner = 8;       // the banner and the system description
const DWORD kLogError = 9;        // errors and warnings

// Appends one line while the log is open; keeps the thread's last-error code.
bool LogLine(DWORD level, const char *format, ...);
bool LogLineV(DWORD level, const char *format, va_list arguments);
