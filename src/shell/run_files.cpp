#include "shell/run_files.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/text.h"
#include "support/tracelog.h"
#include "system/work_folder.h"

static bool IsFolder(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Through the ANSI code page a temporary folder whose name that page lacks (a Polish user name on
// a Western Windows) reads as a look-alike, which does not exist or is another's. Then its short
// form is taken, or else the system's temporary folder (buffer: MAX_PATH bytes); a folder that is
// really missing stays as it is named, and creating the trace log there says so.
static void TakeNameableTempDir(char *buffer)
{
    WCHAR wide[MAX_PATH], named[MAX_PATH], shortForm[MAX_PATH];
    char narrow[MAX_PATH];
    BOOL lost = FALSE;
    bool utf8 = GetACP() == CP_UTF8;   // takes neither the flag nor the report
    DWORD length = GetTempPathW(MAX_PATH, wide);
    if (length == 0 || length >= MAX_PATH || MultiByteToWideChar(CP_ACP, 0, buffer, -1, named, MAX_PATH) == 0 ||
        lstrcmpiW(wide, named) == 0 || GetFileAttributesW(wide) == INVALID_FILE_ATTRIBUTES)
        return;
    length = GetShortPathNameW(wide, shortForm, MAX_PATH);
    if (length != 0 && length < MAX_PATH &&
        WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, shortForm, -1, narrow, MAX_PATH, NULL,
                            utf8 ? NULL : &lost) != 0 && !lost && IsFolder(narrow))
        lstrcpyA(buffer, narrow);
    else if (GetSystemTempDir(narrow))
        lstrcpyA(buffer, narrow);
}

bool GetTempDir()
{
    char buffer[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, buffer);
    if (PathCallFailed(length, "Cannot get temporary dir (%s)"))
        return false;
    TakeNameableTempDir(buffer);
    if (EndsWithChar(buffer, '\\'))
        buffer[lstrlenA(buffer) - 1] = '\0';
    Run.TempDir = StrDup(buffer);
    LogLine(kLogValue, "TempDir=\"%s\"", Run.TempDir);
    return true;
}

static HANDLE ownFile;

// The program's own file is held open while it runs, without letting anyone write, rename or
// delete it: the copy it installs as the uninstaller is the file that was started, even from a
// folder the user may change (a download folder).
bool GetModulePaths()
{
    char buffer[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, buffer, MAX_PATH);
    if (PathCallFailed(length, "Cannot get process module name (%s)"))
        return false;
    ownFile = CreateFileA(buffer, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (ownFile == INVALID_HANDLE_VALUE)
        LogLine(kLogError, "Cannot hold the program's own file (%s)", LastErrorText());
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

// With a process id the name is this process's alone; without, a log there already stays.
static HANDLE OpenTraceLogFile(char *name, DWORD pid)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    int length = wsprintfA(name, "%s\\brindlework_setup_log_%04u%02u%02u_%02u%02u%02u", Run.TempDir,
                           now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    if (pid != 0)
        length += wsprintfA(name + length, "_%u", (UINT)pid);
    lstrcpyA(name + length, ".tmp");
    return CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, NULL, pid != 0 ? CREATE_ALWAYS : CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

// The name has a resolution of one second, and a run that started in the same second may still
// write its log (the secondary uninstaller follows its primary that quickly) or have kept it: such
// a name is left to its owner, and this run's log takes its process id along instead of waiting
// for the clock.
bool CreateTraceLog()
{
    char name[MAX_PATH + 64];
    HANDLE file = OpenTraceLogFile(name, 0);
    DWORD error = GetLastError();
    if (file == INVALID_HANDLE_VALUE && (error == ERROR_SHARING_VIOLATION || error == ERROR_FILE_EXISTS))
        file = OpenTraceLogFile(name, GetCurrentProcessId());
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
