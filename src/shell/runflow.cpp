#include "shell/runflow.h"
#include "install/com.h"
#include "install/install_product.h"
#include "script/setup_script.h"
#include "script/variables.h"
#include "shell/cmdline.h"
#include "shell/run_files.h"
#include "support/errortext.h"
#include "support/libinit.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/tracelog.h"
#include "system/file_hash.h"
#include "system/library.h"
#include "system/privileges.h"
#include "system/setupapi_binding.h"
#include "system/work_folder.h"
#include "ui/resource.h"
#include "system/journal_recorder.h"
#include "uninstall/uninstaller.h"
#include <shellapi.h>

const int kExitAllocFailure = 99;
const int kExitSetupApi = 2;
const int kExitRestartNeeded = 3010;   // ERROR_SUCCESS_REBOOT_REQUIRED, as deployment tools read it
const UINT kReportSize = 1024;
const DWORD kOldestVersion = 410;   // Windows 98

static const char kTraceLogParagraph[] =
    "\n\nA trace log is saved to \"%s\"\nIt may help you to determine a cause of the problem.\n"
    "You can send it to the author with an error report.";
static const char kEarlierVersionRemoved[] = "\n\n%s was removed before this installation began.";
static const char kKeepQuestion[] =
    "\nIf you don't need a log, it will be deleted.\n\nKeep the trace log file?";
static const char kRestartQuestion[] =
    "Uninstaller cannot delete some files because they are in use.\n"
    "To properly delete them, Windows must be restarted. If you choose\n"
    "to restart later, you must not try to install this product until\n"
    "the files will be deleted.\n\nRestart Windows now?";

// 64-bit sizes do not fit wsprintfA's %u.
static char *DecimalText(char *buffer, ULONGLONG value)
{
    char digits[24];
    int count = 0;
    do {
        digits[count++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = 0; i < count; i++)
        buffer[i] = digits[count - 1 - i];
    buffer[count] = '\0';
    return buffer;
}

DWORD ShowAllocFailure(ULONGLONG size)
{
    char sizeText[24];
    ErrorBox("Cannot allocate %s bytes, terminating process", DecimalText(sizeText, size));
    ExitProcess(kExitAllocFailure);
    return 0;
}

static bool LogSystemDescription()
{
    LogLine(kLogBanner, SETUP_PRODUCT " " SETUP_VERSION_TEXT " (64-bit)");
    SYSTEM_INFO *system = &Run.SystemInfo;
    GetSystemInfo(system);
    LogLine(kLogBanner, "System: Arch=%u CPU=%u ProcRev=%X NumProcs=%u ProcMask=%X",
            system->wProcessorArchitecture, system->dwProcessorType, system->wProcessorRevision,
            system->dwNumberOfProcessors, (DWORD)system->dwActiveProcessorMask);
    OSVERSIONINFOEXA *os = &Run.OsVersion;
    os->dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    GetVersionExA((OSVERSIONINFOA *)os);
    LogLine(kLogBanner, "OS version: %u.%u.%u SP %u.%u, SPname=\"%s\", PID=%X, SM=%X, PT=%X",
            os->dwMajorVersion, os->dwMinorVersion, os->dwBuildNumber & 0xFFFF,
            os->wServicePackMajor, os->wServicePackMinor, os->szCSDVersion, os->dwPlatformId,
            os->wSuiteMask, os->wProductType);
    return true;
}

static bool CheckOsVersion()
{
    if (Run.OsVersion.dwMajorVersion * 100 + Run.OsVersion.dwMinorVersion < kOldestVersion) {
        ErrorBox("Supporting only Windows 98 and later OSes");
        return false;
    }
    Run.IsNT = Run.OsVersion.dwPlatformId == VER_PLATFORM_WIN32_NT;
    return true;
}

static bool LogCommandLine()
{
    LogLine(kLogAction, "Command Line: \"%s\"", Run.CommandLineTail);
    return true;
}

static bool GetCurrentDir()
{
    char buffer[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, buffer);
    if (PathCallFailed(length, "Cannot get current directory path (%s)"))
        return false;
    Run.CurrentDir = StrDup(buffer);
    LogLine(kLogValue, "CurrentDir=\"%s\"", Run.CurrentDir);
    return true;
}

static bool LogSystemFolders()
{
    LogLine(kLogValue, "----");
    for (UINT i = 0; i < kSystemFolderCount && kVariableTable[i].name != NULL; i++)
        LogLine(kLogValue, "%s=\"%s\"", kVariableTable[i].name, *kVariableTable[i].value);
    LogLine(kLogValue, "----");
    return true;
}

// A work folder an earlier run could not remove (it was killed, or crashed) goes now.
static bool RemoveLeftovers()
{
    RemoveStaleWorkFolders();
    return true;
}

static bool PrepareMode()
{
    AllocateEntryLists();
    if (Run.InstallMode) {
        Run.SourceDir = StrDup(Run.SourceFromCurrentDir ? Run.CurrentDir : Run.ExeModuleDir);
        LogLine(kLogValue, "SourceDir=\"%s\"", Run.SourceDir);
    }
    return true;
}

typedef bool (*PreparationStep)();

// Each step tells the user about its own failure; the first failure ends the preparation.
static const PreparationStep kPreparation[] = {
    ParseCommandLine,
    GetTempDir,
    CreateTraceLog,
    LogSystemDescription,
    CheckOsVersion,
    LogCommandLine,
    GetModulePaths,
    GetCurrentDir,
    InitCom,
    ResolveSystemFolders,
    LogSystemFolders,
    RemoveLeftovers,
    PrepareMode,
    NULL,
};

void ComposeReport(char *text, bool installMode, bool finalPhase, RunStatus status)
{
    bool failed = StatusIsFailed(status);
    wsprintfA(text, "%snstallation %s%s%s.", installMode ? "I" : "Uni",
              finalPhase ? "" : "(first phase) ", failed ? "aborted" : "completed",
              StatusIsOk(status) ? " successfully" : failed ? "" : " with some warnings");
}

UINT ReportFlags(bool finalPhase, RunStatus status)
{
    if (StatusIsFailed(status))
        return MB_ICONHAND;
    if (!StatusIsOk(status))
        return MB_ICONEXCLAMATION;
    return finalPhase ? MB_ICONINFORMATION : 0;
}

// After an installation that did not fail the log lives on as install.log in the product's
// folder, recorded so that uninstallation removes it; a silent run keeps it in the temporary
// folder too, where a deployment tool looks.
static void KeepLogInInstallDir()
{
    if (Run.InstallDir == NULL)
        return;
    char path[MAX_PATH];
    if (!JoinPath(path, Run.InstallDir, "install.log") || !CopyFileA(Run.TraceLogPath, path, FALSE))
        return;
    JournalAddEvent(kEventCreateFile, "\"%s\"", path);
    SaveJournal();
    if (Run.Silent)
        return;
    DeleteTraceLog();
    Run.TraceLogPath = StrDup(path);
    Run.KeepTraceLog = true;
}

static void ShowFinalReport(RunStatus status, bool finalPhase, const char *text)
{
    char report[kReportSize];
    UINT flags = ReportFlags(finalPhase, status);
    lstrcpyA(report, text);
    if (StatusIsFailed(status) && Run.RemovedEarlierVersion != NULL)
        wsprintfA(report + lstrlenA(report), kEarlierVersionRemoved, Run.RemovedEarlierVersion);
    if (Run.TraceLogPath != NULL) {
        if (Run.InstallMode && !StatusIsFailed(status))
            KeepLogInInstallDir();
        if (!StatusIsOk(status)) {
            int length = lstrlenA(report);
            wsprintfA(report + length, kTraceLogParagraph, Run.TraceLogPath);
            if (!Run.KeepTraceLog) {
                lstrcatA(report, kKeepQuestion);
                flags |= MB_YESNO | MB_DEFBUTTON2;
            }
        }
    }
    if (flags != 0) {
        int answer = MsgBox(flags, IDYES, "%s", report);
        if ((flags & MB_YESNO) != 0 && answer == IDYES)
            Run.KeepTraceLog = true;
    }
}

static void CloseTraceLog()
{
    if (Run.TraceLogHandle != NULL) {
        CloseHandle(Run.TraceLogHandle);
        Run.TraceLogHandle = NULL;
    }
}

// Silent, a run that only needs a restart to be complete ends with the code deployment tools
// expect for it; else 0 for success, 1 for warnings or a failure.
static int ExitCode(RunStatus status)
{
    if (!StatusIsOk(status))
        return 1;
    return Run.Silent && Run.RestartNeeded ? kExitRestartNeeded : 0;
}

static int FinishRun(RunStatus status)
{
    bool finalPhase = Run.InstallMode || Run.PrimaryPid != 0;
    char text[kReportSize];
    Run.KeepTraceLog = Run.KeepTraceLog || Run.Silent;
    ComposeReport(text, Run.InstallMode, finalPhase, status);
    DropWorkFolder();
    ReleaseHashProvider();
    if (!Run.UserQuit)
        LogLine(kLogValue, "%s", text);
    CloseTraceLog();
    if (!Run.UserQuit)
        ShowFinalReport(status, finalPhase, text);
    if (Run.RestartNeeded && MsgBox(MB_ICONEXCLAMATION | MB_YESNO, IDNO, kRestartQuestion) == IDYES)
        Run.RestartWanted = true;
    CloseTraceLog();
    if (Run.TraceLogPath != NULL) {
        if (!Run.KeepTraceLog)
            DeleteTraceLog();
        else if (!StatusIsOk(status) && !Run.RestartWanted && !Run.Silent)
            ShellExecuteA(NULL, "open", "NotePad", Run.TraceLogPath, "", SW_SHOW);
    }
    return ExitCode(status);
}

// The common controls are bound at run time, in the version the manifest names: the dialogs and
// boxes then take the current visual style.
static void InitCommonControlsOfManifest()
{
    HMODULE controls = LibraryLoadByManifest("comctl32.dll");
    FARPROC initialize = controls != NULL ? GetProcAddress(controls, "InitCommonControls") : NULL;
    if (initialize != NULL)
        ((void(WINAPI *)())initialize)();
}

int RunFlow()
{
    RunStatus status;
    InitCommonControlsOfManifest();
    StatusInit(&status);
    SetBoxProductName(&Script.AppName);
    for (const PreparationStep *step = kPreparation; *step != NULL; step++) {
        if (!(*step)()) {
            StatusSetFailed(&status);
            return FinishRun(status);
        }
    }
    StatusMerge(&status, Run.InstallMode ? InstallProduct() : RunUninstaller());
    return FinishRun(status);
}

int StartUp()
{
    RestrictLibrarySearch();
    Run.ModuleInstance = GetModuleHandleA(NULL);
    SetAllocFailureHook(ShowAllocFailure);
    Run.Silent = HasSilentSwitch(Run.CommandLineTail);
    if (!LibInit(NULL))
        return 1;
    if (!LoadSetupApi())
        return kExitSetupApi;
    int result = RunFlow();
    RemoveOwnFolderLater();
    if (Run.RestartWanted)
        RestartWindows();
    return result;
}
