#include "shell/run_files.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/text.h"
#include "support/tracelog.h"

const int kTraceLogNameAttempts = 5;

bool GetTempDir()
{
    char buffer[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, buffer);
    if (PathCallFailed(length, "Cannot get temporary dir (%s)"))
        return false;
    if (buffer[length - 1] == '\\')
        buffer[length - 1] = '\0';
    Run.TempDir = StrDup(buffer);
    LogLine(kLogValue, "TempDir=\"%s\"", Run.TempDir);
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
    LogLine(kLogValue, "ExeModuleDir=\"%s\"", Run.ExeModuleDir);
    LogLine(kLogValue, "ExeModuleName=\"%s\"", Run.ExeModuleName);
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
