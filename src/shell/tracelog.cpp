#include "shell/tracelog.h"
#include "shell/msgbox.h"
#include "shell/runstate.h"
#include "support/errortext.h"
#include "support/guid.h"
#include "support/memory.h"
#include "support/text.h"

const UINT kLinePrefixLength = 19;
const UINT kFormatLimit = 1024;   // wvsprintfA writes at most this many bytes
const int kTraceLogNameAttempts = 5;

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

bool GetTempDir()
{
    char buffer[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, buffer);
    if (PathCallFailed(length, "Cannot get temporary dir (%s)"))
        return false;
    if (buffer[length - 1] == '\\')
        buffer[length - 1] = '\0';
    Run.TempDir = StrDup(buffer);
    LogLine(5, "TempDir=\"%s\"", Run.TempDir);
    return true;
}

bool GetModulePaths()
{
    char buffer[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, buffer, MAX_PATH);
    if (PathCallFailed(length, "Cannot get process module name (%s)"))
        return false;
    Run.ExeModulePath = StrDup(buffer);
    char *slash = (char *)StrFindLastChar(buffer, '\\');
    if (slash != NULL) {
        *slash = '\0';
        Run.ExeModuleName = StrDup(slash + 1);
    } else {
        Run.ExeModuleName = StrDup(buffer);
        buffer[0] = '\0';
    }
    Run.ExeModuleDir = StrDup(buffer);
    LogLine(5, "ExeModuleDir=\"%s\"", Run.ExeModuleDir);
    LogLine(5, "ExeModuleName=\"%s\"", Run.ExeModuleName);
    return true;
}

static HANDLE OpenTraceLogFile(char *name)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    wsprintfA(name, "%s\\brindlework_setup_log_%04u%02u%02u_%02u%02u%02u.tmp", Run.TempDir,
              now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    return CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

// The name has a resolution of one second, and a run that started in the same second may
// still write its log (the secondary uninstaller follows its primary that quickly): such a
// name is left to its owner, and the next second gives a fresh one.
bool CreateTraceLog()
{
    char name[MAX_PATH + 64];
    HANDLE file = OpenTraceLogFile(name);
    for (int attempt = 0; file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION &&
                          attempt < kTraceLogNameAttempts; attempt++) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        Sleep(1000 - now.wMilliseconds + 10);
        file = OpenTraceLogFile(name);
    }
    Run.TraceLogPath = StrDup(name);
    if (file == INVALID_HANDLE_VALUE) {
        ErrorBox("Cannot create trace log file \"%s\" (%s)", name, LastErrorText());
        MemFree(Run.TraceLogPath);
        Run.TraceLogPath = NULL;
        return false;
    }
    Run.TraceLogHandle = file;
    return true;
}

void DeleteTraceLog()
{
    if (Run.TraceLogPath == NULL)
        return;
    DeleteFileA(Run.TraceLogPath);
    MemFree(Run.TraceLogPath);
    Run.TraceLogPath = NULL;
}

HANDLE CreateTempFile(char *path, const char *extension)
{
    int folderLength = wsprintfA(path, "%s\\", Run.TempDir);
    for (;;) {
        GUID guid;
        if (!NewGuid(&guid)) {
            LogLine(kLogError, "Cannot create a GUID for temp %s file (%s)", extension, LastErrorText());
            break;
        }
        char guidText[kGuidTextSize];
        wsprintfA(path + folderLength, "%s.%s", GuidText(guidText, &guid, false), extension);
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            LogLine(5, "Created temporary file \"%s\"", path);
            return file;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    ErrorBox("Cannot create \"%s\" (%s)", path, LastErrorText());
    return INVALID_HANDLE_VALUE;
}
