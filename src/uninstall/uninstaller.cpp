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
#include "uninstall/journal_replay.h"

const UINT kBatchTextSize = 1024;
const UINT kTempPathSize = MAX_PATH + 64;   // TempDir, a backslash, a GUID name and an extension
// The interpreter's path (at most MAX_PATH - 1 characters), " /c " and the batch file's path.
const UINT kInterpreterLineSize = MAX_PATH + 4 + kTempPathSize;
const DWORD kFirstBatchVersion = 6;   // Windows Vista: the copy is deleted by a batch file

HANDLE OpenSyncEvent(bool openExisting)
{
    char name[MAX_PATH];
    lstrcpynA(name, Run.InstallDir, MAX_PATH);
    for (char *c = name; *c != '\0'; c++) {
        if (*c == '\\')
            *c = '/';
    }
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

bool FormatSecondaryArguments(char *arguments, DWORD primaryPid, const char *installDir)
{
    if (lstrlenA(installDir) + 24 >= (int)kSecondaryArgumentsSize)
        return false;
    wsprintfA(arguments, " -u -p %08X -d \"%s\"", primaryPid, installDir);
    return true;
}

// What StartSecondary made, for its one way out.
struct SecondaryLaunch {
    char copyPath[kTempPathSize];
    char batchPath[kTempPathSize];
    bool copyMade;
    bool batchMade;
    HANDLE batchFile;
    HANDLE deleteOnClose;
    char arguments[kSecondaryArgumentsSize];
    char commandLine[kInterpreterLineSize];
    const char *application;
    STARTUPINFOA startup;
};

static bool MakeProgramCopy(SecondaryLaunch *launch)
{
    HANDLE file = CreateTempFile(launch->copyPath, "EXE");
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    launch->copyMade = true;
    return CopyOneFile(Run.ExeModulePath, launch->copyPath, false);
}

// Before Vista the system deletes the copy once its last user has ended.
static void MarkCopyForDeletion(SecondaryLaunch *launch)
{
    LogLine(kLogValue, "Opening \"%s\" for delete on close", launch->copyPath);
    launch->deleteOnClose = CreateFileA(launch->copyPath, GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                        NULL, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, NULL);
    if (launch->deleteOnClose == INVALID_HANDLE_VALUE)
        LogLine(kLogError, "Cannot open \"%s\" for delete on close (%s)", launch->copyPath, LastErrorText());
    QueueFileDeletion(launch->copyPath, false);
}

static bool UsesBatchFile()
{
    return Run.OsVersion.dwMajorVersion >= kFirstBatchVersion;
}

// The command interpreter reads a batch file in the OEM code page, and a blank ends a word of its
// lines: a path goes there in the OEM page, in its short form when it holds a blank or a
// character that page lacks.

// The text in the OEM code page (size bytes); false with ERROR_NO_UNICODE_TRANSLATION when a
// character has no OEM equivalent. With the system's UTF-8 option the OEM page is UTF-8, which
// holds every character and takes neither the flag nor the lost-character report.
static bool ToOemText(const char *text, char *oem, int size)
{
    WCHAR wide[kBatchTextSize];
    BOOL lost = FALSE;
    bool utf8 = GetOEMCP() == CP_UTF8;
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kBatchTextSize);
    if (length == 0 || WideCharToMultiByte(CP_OEMCP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, wide, length, oem, size, NULL,
                                           utf8 ? NULL : &lost) == 0)
        return false;
    if (lost)
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return !lost;
}

// Whether the interpreter reads the path as one word, as it is written.
static bool IsInterpreterWord(const char *path)
{
    char oem[kBatchTextSize];
    if (StrFindChar(path, ' ') != NULL) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    return ToOemText(path, oem, sizeof oem);
}

// The folder as one word of a batch line (form: MAX_PATH bytes): as it is, or its short form.
static bool InterpreterFolder(const char *folder, char *form)
{
    if (IsInterpreterWord(folder)) {
        lstrcpynA(form, folder, MAX_PATH);
        return true;
    }
    DWORD length = GetShortPathNameA(folder, form, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        if (length != 0)
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    return IsInterpreterWord(form);
}

static const char kTempFolderUnreadable[] =
    "Cannot uninstall through the temporary folder \"%s\": the command interpreter cannot read its name (%s).\n"
    "Nothing has been removed. Set TEMP and TMP to a folder whose name it can read, then uninstall again.";
static const char kInstallFolderUnreadable[] =
    "Cannot uninstall from \"%s\": the command interpreter cannot read the folder's name (%s).\n"
    "Nothing has been removed.";

// The temporary folder as one word of a batch line (form: MAX_PATH bytes); false after a box.
static bool TempFolderWord(char *form)
{
    if (InterpreterFolder(Run.TempDir, form))
        return true;
    ErrorBox(kTempFolderUnreadable, Run.TempDir, LastErrorText());
    return false;
}

// The batch file names the temporary folder and passes the installation folder on as it stands:
// both are checked before anything is removed, so that a refusal leaves the product whole.
bool CheckInterpreterNames()
{
    char form[MAX_PATH];
    char oem[kBatchTextSize];
    if (!TempFolderWord(form))
        return false;
    if (!ToOemText(Run.InstallDir, oem, sizeof oem)) {
        ErrorBox(kInstallFolderUnreadable, Run.InstallDir, LastErrorText());
        return false;
    }
    return true;
}

// A temporary file as one word of a batch line: the folder's word, a backslash, the GUID name.
static void InterpreterFile(const char *folderForm, const char *path, char *word)
{
    wsprintfA(word, "%s\\%s", folderForm, StrFindLastChar(path, '\\') + 1);
}

// Writes the batch text in the OEM code page; false after a box.
static bool WriteBatchText(SecondaryLaunch *launch, const char *copyWord, const char *batchWord)
{
    char text[kBatchTextSize];
    char oem[kBatchTextSize];
    int length = 2 * lstrlenA(copyWord) + lstrlenA(launch->arguments) + lstrlenA(batchWord) + 40;
    DWORD written = 0;
    SetLastError(ERROR_BUFFER_OVERFLOW);
    if (length < (int)kBatchTextSize) {
        length = wsprintfA(text, "@echo off\r\nstart /w %s%s\r\ndel %s\r\ndel %s\r\n", copyWord, launch->arguments,
                           copyWord, batchWord);
        if (ToOemText(text, oem, sizeof oem)) {
            length = lstrlenA(oem);
            SetLastError(ERROR_SUCCESS);
            if (WriteFile(launch->batchFile, oem, (DWORD)length, &written, NULL) && written != (DWORD)length)
                SetLastError(ERROR_DISK_FULL);
        }
    }
    if (GetLastError() != ERROR_SUCCESS) {
        ErrorBox("Cannot write text to \"%s\" (%s)", launch->batchPath, LastErrorText());
        return false;
    }
    return true;
}

// From Vista on a hidden batch file starts the copy, waits for it, and deletes it and itself.
static bool PrepareBatchLaunch(SecondaryLaunch *launch)
{
    char folderForm[MAX_PATH];
    char copyWord[kTempPathSize];
    char batchWord[kTempPathSize];
    launch->batchFile = CreateTempFile(launch->batchPath, "BAT");
    if (launch->batchFile == INVALID_HANDLE_VALUE)
        return false;
    launch->batchMade = true;
    if (!TempFolderWord(folderForm))
        return false;
    InterpreterFile(folderForm, launch->copyPath, copyWord);
    InterpreterFile(folderForm, launch->batchPath, batchWord);
    if (!WriteBatchText(launch, copyWord, batchWord))
        return false;
    CloseHandle(launch->batchFile);
    launch->batchFile = INVALID_HANDLE_VALUE;
    LogLine(kLogValue, "Creating \"%s\" complete", launch->batchPath);
    DWORD interpreterLength = GetEnvironmentVariableA("ComSpec", launch->commandLine, MAX_PATH);
    if (PathCallFailed(interpreterLength, "Cannot get command interpreter path (%s)"))
        return false;
    wsprintfA(launch->commandLine + interpreterLength, " /c %s", batchWord);
    launch->application = NULL;
    launch->startup.dwFlags = STARTF_USESHOWWINDOW;
    launch->startup.wShowWindow = SW_HIDE;
    return true;
}

// Waits for the secondary's signal, and for the started process too: a secondary that dies,
// or an interpreter that cannot start it, must not leave the primary waiting forever.
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

static bool LaunchSecondary(SecondaryLaunch *launch, HANDLE syncEvent)
{
    PROCESS_INFORMATION process;
    char pidText[16];
    LogLine(kLogValue, "Starting \"%s\":", launch->application != NULL ? launch->application : "");
    LogLine(kLogValue, "Command line: \"%s\"", launch->commandLine);
    LogLine(kLogValue, "Working dir: \"%s\"", Run.TempDir);
    if (!CreateProcessA(launch->application, launch->commandLine, NULL, NULL, FALSE, CREATE_DEFAULT_ERROR_MODE,
                        NULL, Run.TempDir, &launch->startup, &process)) {
        ErrorBox("Cannot start fork process (%s)", LastErrorText());
        return false;
    }
    LogLine(kLogValue, "Secondary process PID=%s, waiting for signal...", PidText(process.dwProcessId, pidText));
    bool signalled = WaitForSecondary(syncEvent, process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return signalled;
}

bool StartSecondary(HANDLE syncEvent)
{
    SecondaryLaunch launch;
    ZeroMemory(&launch, sizeof launch);
    launch.batchFile = INVALID_HANDLE_VALUE;
    launch.deleteOnClose = INVALID_HANDLE_VALUE;
    launch.startup.cb = sizeof launch.startup;
    bool batch = UsesBatchFile();
    bool ok = false;
    if (!MakeProgramCopy(&launch))
        goto done;
    if (!batch)
        MarkCopyForDeletion(&launch);
    if (!FormatSecondaryArguments(launch.arguments, GetCurrentProcessId(), Run.InstallDir)) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        ErrorBox("Cannot start fork process (%s)", LastErrorText());
        goto done;
    }
    if (batch) {
        if (!PrepareBatchLaunch(&launch))
            goto done;
    } else {
        launch.application = launch.copyPath;
        lstrcpyA(launch.commandLine, launch.arguments);
    }
    ok = LaunchSecondary(&launch, syncEvent);
done:
    if (launch.deleteOnClose != INVALID_HANDLE_VALUE)
        CloseHandle(launch.deleteOnClose);
    if (launch.batchFile != INVALID_HANDLE_VALUE)
        CloseHandle(launch.batchFile);
    if (!ok && launch.copyMade)
        DeleteOneFile(launch.copyPath);
    if (!ok && launch.batchMade)
        DeleteOneFile(launch.batchPath);
    return ok;
}

// The secondary's handshake: open the primary, signal it, wait for its end. False after a box
// when the signal could not be given; the status gets a warning when the primary is not known.
static bool JoinPrimary(HANDLE syncEvent, RunStatus *status)
{
    char pidText[16];
    LogLine(kLogValue, "Opening primary process %s", PidText(Run.PrimaryPid, pidText));
    // Opened before the signal, while the primary is still there waiting for it.
    HANDLE primary = OpenProcess(SYNCHRONIZE, FALSE, Run.PrimaryPid);
    DWORD openError = GetLastError();
    if (!SetEvent(syncEvent)) {
        ErrorBox("Cannot set sync event (%s)", LastErrorText());
        if (primary != NULL)
            CloseHandle(primary);
        return false;
    }
    if (primary == NULL) {
        SetLastError(openError);
        ErrorBox("Cannot connect to primary process (%s)", LastErrorText());
        StatusSetWarning(status);
        return true;
    }
    LogLine(kLogValue, "Waiting for primary process termination");
    WaitForSingleObject(primary, INFINITE);
    CloseHandle(primary);
    LogLine(kLogValue, "Primary process is terminated");
    return true;
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
    bool agreed = MsgBox(MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2, "Do you really want to uninstall %s?",
                         Script.AppName) == IDYES;
    LogLine(kLogAction, "Uninstallation %sabled", agreed ? "en" : "dis");
    if (!agreed)
        Run.UserQuit = true;
    return agreed;
}

static void RunPrimary(char *journal, HANDLE syncEvent, RunStatus *status)
{
    if (!ConfirmUninstallation(journal, status))
        return;
    if (UsesBatchFile() && !CheckInterpreterNames()) {
        StatusSetFailed(status);
        return;
    }
    if (StatusIsFailed(StatusMerge(status, ReplayJournal(journal, PhaseMask(kPrimaryPhase)))))
        return;
    if (!StartSecondary(syncEvent))
        StatusSetFailed(status);
}

static void RunSecondary(char *journal, HANDLE syncEvent, RunStatus *status)
{
    if (Run.PrimaryPid != kNoPrimary && !JoinPrimary(syncEvent, status)) {
        StatusSetFailed(status);
        return;
    }
    StatusMerge(status, ReplayJournal(journal, PhaseMask(kSecondaryPhase)));
}

// Administrator rights when the installation needed them; false when they cannot be had.
static bool CheckJournalRights(const char *journal)
{
    char line[kJournalLineSize];
    if (FindJournalEvent(line, journal, kEventAdmRightsRequired) != NULL)
        RequireAdminRights();
    return !Run.AdminRightsRequired || CheckAdminRights();
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
    if (!CheckJournalRights(journal)) {
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
