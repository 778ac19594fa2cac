#include "uninstall/uninstaller.h"
#include "script/setup_script.h"
#include "script/variables.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/text.h"
#include "support/tracelog.h"
#include "system/file_ops.h"
#include "system/privileges.h"
#include "system/work_folder.h"
#include "uninstall/handover.h"
#include "uninstall/journal_replay.h"

const DWORD kFirstInterpreterVersion = 6;   // Windows Vista: the interpreter removes the copy
const UINT kQuickRemovalAttempts = 100;   // a few hundred milliseconds while the copy ends
const UINT kRemovalAttempts = 30;         // then once a second

HANDLE OpenSyncEvent(bool openExisting)
{
    char name[kObjectNameSize];
    FolderObjectName(name, Run.InstallDir, "");
    LogLine(kLogValue, "Sync event name: \"%s\"", name);
    HANDLE event = CreateEventA(NULL, FALSE, FALSE, name);
    DWORD error = GetLastError();
    DWORD expected = openExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    if (event != NULL && error == expected) {
        LogLine(kLogValue, "%s sync event \"%s\"", openExisting ? "Opened" : "Created", name);
        return event;
    }
    if (event != NULL) {
        CloseHandle(event);
        // Another uninstaller of this folder holds the event, or no primary waits for us.
        SetLastError(openExisting ? ERROR_FILE_NOT_FOUND : ERROR_ALREADY_EXISTS);
    }
    ErrorBox("Cannot %s sync event (%s)", openExisting ? "open" : "create", LastErrorText());
    return NULL;
}

bool FormatSecondaryArguments(char *arguments, DWORD primaryPid, const char *installDir, bool silent)
{
    if (lstrlenA(installDir) + 27 >= (int)kSecondaryArgumentsSize)
        return false;
    wsprintfA(arguments, " -u -p %08X -d \"%s\"%s", primaryPid, installDir, silent ? " -s" : "");
    return true;
}

// What the primary makes for the secondary before the first phase, so that a refusal leaves the
// product whole, and starts after it.
struct SecondaryLaunch {
    char copyPath[MAX_PATH];
    char folder[MAX_PATH];   // the system's temporary folder: the secondary's current folder
    HANDLE deleteOnClose;
    char arguments[kSecondaryArgumentsSize];
};

// Before Vista the system deletes the copy once its last user has ended, and the folder at the
// next restart.
static bool DeletesCopyOnClose()
{
    return Run.OsVersion.dwMajorVersion < kFirstInterpreterVersion;
}

static void MarkCopyForDeletion(SecondaryLaunch *launch)
{
    LogLine(kLogValue, "Opening \"%s\" for delete on close", launch->copyPath);
    launch->deleteOnClose = CreateFileA(launch->copyPath, GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                        NULL, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, NULL);
    if (launch->deleteOnClose == INVALID_HANDLE_VALUE)
        LogLine(kLogError, "Cannot open \"%s\" for delete on close (%s)", launch->copyPath, LastErrorText());
    QueueFileDeletion(launch->copyPath, false);
    QueueFileDeletion(WorkFolder(), false);
}

// The program's copy in the run's own folder, which only administrators can change, and the
// secondary's arguments; false after a box.
static bool PrepareSecondary(SecondaryLaunch *launch)
{
    ZeroMemory(launch, sizeof *launch);
    launch->deleteOnClose = INVALID_HANDLE_VALUE;
    const char *folder = WorkFolder();
    if (folder == NULL)
        return false;
    if (!FormatSecondaryArguments(launch->arguments, GetCurrentProcessId(), Run.InstallDir, Run.Silent)) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        ErrorBox("Cannot start fork process (%s)", LastErrorText());
        return false;
    }
    DirOfPath(launch->folder, folder);
    HANDLE file = CreateUniqueFile(folder, launch->copyPath, "EXE");
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return CopyOneFile(Run.ExeModulePath, launch->copyPath, false);
}

// Waits for the secondary's signal, and for the started process too: a secondary that dies must
// not leave the primary waiting forever.
static bool WaitForSecondary(HANDLE syncEvent, HANDLE process)
{
    HANDLE handles[2] = { syncEvent, process };
    DWORD result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (result == WAIT_OBJECT_0) {
        LogLine(kLogValue, "Secondary process initialized");
        return true;
    }
    if (result == WAIT_OBJECT_0 + 1)
        ErrorBox("Cannot get signal from secondary process");
    else
        ErrorBox("Error waiting for signal (%s)", LastErrorText());
    return false;
}

// The copy is started directly with the installation folder in its arguments: nothing passes
// through the command interpreter, which would split a name at '&' or expand its '%'. process
// receives the secondary's handle once it has signalled (the caller closes it).
static bool StartSecondary(SecondaryLaunch *launch, HANDLE syncEvent, HANDLE *secondary)
{
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    char pidText[16];
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (DeletesCopyOnClose())
        MarkCopyForDeletion(launch);
    LogLine(kLogValue, "Starting \"%s\":", launch->copyPath);
    LogLine(kLogValue, "Command line: \"%s\"", launch->arguments);
    LogLine(kLogValue, "Working dir: \"%s\"", launch->folder);
    bool signalled = false;
    if (!CreateProcessA(launch->copyPath, launch->arguments, NULL, NULL, FALSE, CREATE_DEFAULT_ERROR_MODE, NULL,
                        launch->folder, &startup, &process)) {
        ErrorBox("Cannot start fork process (%s)", LastErrorText());
    } else {
        LogLine(kLogValue, "Secondary process PID=%s, waiting for signal...", PidText(process.dwProcessId, pidText));
        signalled = WaitForSecondary(syncEvent, process.hProcess);
        CloseHandle(process.hThread);
        if (signalled)
            *secondary = process.hProcess;
        else
            CloseHandle(process.hProcess);
    }
    if (launch->deleteOnClose != INVALID_HANDLE_VALUE)
        CloseHandle(launch->deleteOnClose);
    if (signalled)
        KeepWorkFolder();   // the secondary runs from it, and removes it at its end
    return signalled;
}

void RemoveOwnFolderLater()
{
    char interpreter[MAX_PATH];
    char temp[MAX_PATH];
    char line[MAX_PATH + 512];
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    if (Run.InstallMode || Run.PrimaryPid == 0 || DeletesCopyOnClose() || !IsWorkFolder(Run.ExeModuleDir))
        return;
    const char *name = StrFindLastChar(Run.ExeModuleDir, '\\') + 1;
    // The interpreter of the system folder, never one the user's environment names; the folder
    // by its name alone (letters, digits, '_' and '-') from its parent folder, so that no path
    // passes through the interpreter. It tries at once, for as long as the copy usually takes to
    // end, and then once a second.
    UINT length = GetSystemDirectoryA(interpreter, MAX_PATH);
    if (length == 0 || length + 9 >= MAX_PATH || !GetSystemTempDir(temp))
        return;
    lstrcpyA(interpreter + length, "\\cmd.exe");
    wsprintfA(line, "\"%s\" /d /v:off /c \"(for /l %%i in (1,1,%u) do (rd /s /q %s 2>nul & if not exist %s exit)) & "
              "for /l %%i in (1,1,%u) do (ping -n 2 127.0.0.1 >nul & rd /s /q %s 2>nul & if not exist %s exit)\"",
              interpreter, kQuickRemovalAttempts, name, name, kRemovalAttempts, name, name);
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    if (!CreateProcessA(interpreter, line, NULL, NULL, FALSE, CREATE_NO_WINDOW | CREATE_DEFAULT_ERROR_MODE, NULL, temp,
                        &startup, &process))
        return;   // the next run removes it
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// The secondary's handshake: open the primary, signal it. False after a box when the signal could
// not be given; *primary stays null, and the status gets a warning, when the primary is not known.
static bool JoinPrimary(HANDLE syncEvent, HANDLE *primary, RunStatus *status)
{
    char pidText[16];
    LogLine(kLogValue, "Opening primary process %s", PidText(Run.PrimaryPid, pidText));
    // Opened before the signal, while the primary is still there waiting for it.
    *primary = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, Run.PrimaryPid);
    DWORD openError = GetLastError();
    if (!SetEvent(syncEvent)) {
        ErrorBox("Cannot set sync event (%s)", LastErrorText());
        if (*primary != NULL)
            CloseHandle(*primary);
        *primary = NULL;
        return false;
    }
    if (*primary == NULL) {
        SetLastError(openError);
        ErrorBox("Cannot connect to primary process (%s)", LastErrorText());
        StatusSetWarning(status);
    }
    return true;
}

static void WaitForPrimaryEnd(HANDLE primary)
{
    if (primary == NULL)
        return;
    LogLine(kLogValue, "Waiting for primary process termination");
    WaitForSingleObject(primary, INFINITE);
    LogLine(kLogValue, "Primary process is terminated");
}

// The primary names the product from the journal and asks the user. False ends the run: with
// the failed bit when the journal has no product name, quietly when the user says No.
static bool ConfirmUninstallation(const char *journal, RunStatus *status)
{
    char line[kJournalLineSize];
    char name[kJournalLineSize];
    if (FindJournalEvent(line, journal, kEventAppName) == NULL) {
        ErrorBox("No %s event in file \"%s\"", "AppName", kJournalFileName);
        StatusSetFailed(status);
        return false;
    }
    GetToken(line, name, kJournalLineSize);
    Script.AppName = StrDup(name);
    LogLine(kLogValue, "AppName=\"%s\"", Script.AppName);
    bool agreed = MsgBox(MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2, IDYES, "Do you really want to uninstall %s?",
                         Script.AppName) == IDYES;
    LogLine(kLogAction, "Uninstallation %sabled", agreed ? "en" : "dis");
    if (!agreed)
        Run.UserQuit = true;
    return agreed;
}

// Silent, the primary ends with the whole uninstallation's result, which the secondary reports
// once it has removed all but the primary's own copy.
static void RunPrimary(char *journal, HANDLE syncEvent, RunStatus *status)
{
    SecondaryLaunch launch;
    ResultChannel channel = {};
    HANDLE secondary = NULL;
    if (!ConfirmUninstallation(journal, status))
        return;
    if (!PrepareSecondary(&launch) || (Run.Silent && !OpenResultChannel(&channel, true))) {
        StatusSetFailed(status);
        return;
    }
    if (!StatusIsFailed(StatusMerge(status, ReplayJournal(journal, PhaseMask(kPrimaryPhase))))) {
        if (!StartSecondary(&launch, syncEvent, &secondary))
            StatusSetFailed(status);
        else if (Run.Silent)
            StatusMerge(status, WaitForResult(&channel, secondary));
    }
    if (secondary != NULL)
        CloseHandle(secondary);
    CloseResultChannel(&channel);
}

// The primary's own file, which runs until the primary has ended; "" when it cannot be told.
static void PrimaryImage(HANDLE primary, char *path)
{
    DWORD size = MAX_PATH;
    if (primary == NULL || !QueryFullProcessImageNameA(primary, 0, path, &size))
        path[0] = '\0';
}

// Silent, the primary waits for this process's result: everything but its own copy and the folder
// that holds it is removed first, and those go once it has ended. An installation into the folder
// waits until then.
static void RunSecondary(char *journal, HANDLE syncEvent, RunStatus *status)
{
    HANDLE primary = NULL;
    ResultChannel channel = {};
    HANDLE hold = NULL;
    char image[MAX_PATH];
    if (Run.PrimaryPid != kNoPrimary && !JoinPrimary(syncEvent, &primary, status)) {
        StatusSetFailed(status);
        return;
    }
    if (Run.Silent && primary != NULL) {
        // The primary waits for the result: without a channel it gets none, and the run fails.
        if (!OpenResultChannel(&channel, false)) {
            StatusSetFailed(status);
            CloseHandle(primary);
            return;
        }
        PrimaryImage(primary, image);
        hold = HoldFolder(Run.InstallDir);
        DeferUndoOf(image);
        StatusMerge(status, ReplayJournal(journal, PhaseMask(kSecondaryPhase)));
        ReportResult(&channel, *status, Run.RestartNeeded);
        CloseResultChannel(&channel);
        WaitForPrimaryEnd(primary);
        StatusMerge(status, ReplayDeferred());
        ReleaseFolder(hold);
    } else {
        WaitForPrimaryEnd(primary);
        StatusMerge(status, ReplayJournal(journal, PhaseMask(kSecondaryPhase)));
    }
    if (primary != NULL)
        CloseHandle(primary);
}

RunStatus RunUninstaller()
{
    RunStatus status;
    StatusInit(&status);
    HANDLE syncEvent = NULL;
    char *journal = NULL;
    char journalPath[MAX_PATH];
    bool primary = Run.PrimaryPid == 0;
    LogLine(kLogAction, "Working as %s process", primary ? "primary" : "secondary");
    if (primary) {
        Run.InstallDir = StrDup(Run.ExeModuleDir);
        LogLine(kLogValue, "InstallDir=\"%s\"", Run.InstallDir);
    }
    if (Run.PrimaryPid != kNoPrimary) {
        syncEvent = OpenSyncEvent(!primary);
        if (syncEvent == NULL) {
            StatusSetFailed(&status);
            goto done;
        }
    }
    if (JoinPath(journalPath, Run.InstallDir, kJournalFileName, kCannotOpenFile))
        journal = LoadFile(journalPath, kJournalFileName, NULL);
    if (journal == NULL) {
        StatusSetFailed(&status);
        goto done;
    }
    if (!JournalRightsGranted(journal)) {
        Run.UserQuit = true;
        goto done;
    }
    if (primary)
        RunPrimary(journal, syncEvent, &status);
    else
        RunSecondary(journal, syncEvent, &status);
done:
    MemFree(journal);
    if (syncEvent != NULL)
        CloseHandle(syncEvent);
    return status;
}
