#include "support/tracelog.h"
#include "support/runstate.h"

const UINT kLinePrefixLength = 19;
const UINT kFormatLimit = 1024;   // wvsprintfA writes at most this many bytes

bool LogLineV(DWORD level, const char *format, va_list arguments)
{
    DWORD savedError = GetLastError();
    bool ok = true;
    if (Run.TraceLogHandle != NULL) {
        char line[kLinePrefixLength + kFormatLimit + 2];
        SYSTEMTIME now;
        GetLocalTime(&now);
        bool error = level >= kLogError;
        int length = wsprintfA(line, "%02u.%02u.%02u%c%02u:%02u:%02u%s", now.wDay, now.wMonth,
                               now.wYear % 100, error ? '*' : ' ', now.wHour, now.wMinute,
                               now.wSecond, error ? "**" : "  ");
        // On a cut text the count is not reliable across systems: measure what was written.
        wvsprintfA(line + length, format, arguments);
        length += lstrlenA(line + length);
        line[length++] = '\r';
        line[length++] = '\n';
        DWORD written;
        if (!WriteFile(Run.TraceLogHandle, line, (DWORD)length, &written, NULL))
            ok = false;
        if (!FlushFileBuffers(Run.TraceLogHandle))
            ok = false;
    }
    SetLastError(savedError);
    return ok;
}

bool LogLine(DWORD level, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    bool ok = LogLineV(level, format, arguments);
    va_end(arguments);
    return ok;
}
