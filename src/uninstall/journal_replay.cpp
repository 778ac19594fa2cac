#include "uninstall/journal_replay.h"
#include "audio/legacy_driver.h"
#include "audio/pnp_device.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/text.h"
#include "support/tracelog.h"
#include "system/file_ops.h"
#include "system/privileges.h"
#include "system/registry.h"
#include "system/services.h"
#include "ui/progress.h"

// The argument, and what the line holds after it (a CreateDir's parent mark), or "".
typedef RunStatus (*UndoProcedure)(const char *argument, const char *qualifier);

// One row per event that a journal line may hold; a null undo means the event only informs
// the uninstaller. Events not in the table are reported as unknown.
struct EventUndo {
    DWORD code;
    UninstallPhase phase;
    UndoProcedure undo;
};

static RunStatus UndoCreateDir(const char *path, const char *qualifier);
static RunStatus UndoCreateFile(const char *path, const char *);
static RunStatus UndoCreateKey(const char *path, const char *);

static RunStatus UndoInstallService(const char *name, const char *)
{
    return ServiceStopAndDelete(name);
}

static RunStatus UndoInstallDevice(const char *instanceId, const char *)
{
    return RemoveDevice(instanceId);
}

static RunStatus UndoInstallMmeDriver(const char *module, const char *)
{
    return RemoveLegacyAudioDriver(module);
}

static const EventUndo kEventUndoTable[] = {
    { kEventAppName, kSecondaryPhase, NULL },
    { kEventAdmRightsRequired, kSecondaryPhase, NULL },
    { kEventCreateDir, kSecondaryPhase, UndoCreateDir },
    { kEventCreateFile, kSecondaryPhase, UndoCreateFile },
    { kEventCreateKey, kSecondaryPhase, UndoCreateKey },
    { kEventInstallService, kSecondaryPhase, UndoInstallService },
    { kEventInstallDevice, kPrimaryPhase, UndoInstallDevice },
    { kEventInstallMmeDriver, kPrimaryPhase, UndoInstallMmeDriver },
    { kEventUnknown, kSecondaryPhase, NULL },
};

// The secondary takes every event the primary does not, unknown ones included.
DWORD PhaseMask(UninstallPhase phase)
{
    DWORD primary = 0;
    for (const EventUndo *row = kEventUndoTable; row->code != kEventUnknown; row++) {
        if (row->phase == kPrimaryPhase)
            primary |= EventBit(row->code);
    }
    return phase == kPrimaryPhase ? primary : ~primary;
}

char *FindJournalEvent(char *output, const char *text, DWORD code)
{
    const char *name = EventName(code);
    int nameLength = lstrlenA(name);
    for (const char *line = text; line != NULL && *line != '\0';) {
        const char *end = StrFindStr(line, "\r\n");
        int lineLength = end != NULL ? (int)(end - line) : lstrlenA(line);
        if (lineLength >= nameLength &&
            CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, line, nameLength, name, nameLength) == CSTR_EQUAL &&
            (lineLength == nameLength || IsBlank(line[nameLength]))) {
            // The rest of the line, cut to the output's size at a character boundary.
            const char *rest = SkipBlanks(line + nameLength);
            const char *stop = rest;
            while (stop < line + lineLength && NextChar(stop) - rest < (int)kJournalLineSize)
                stop = NextChar(stop);
            int restLength = stop > rest ? (int)(stop - rest) : 0;
            CopyMemory(output, rest, (SIZE_T)restLength);
            output[restLength] = '\0';
            return output;
        }
        line = end != NULL ? end + 2 : NULL;
    }
    return NULL;
}

static const char kFileInUseQuestion[] =
    "File \"%s\" being deleted is currently in use. If there are active applications, they may use "
    "this file and prevent it to be deleted. You can close some applications and retry delete "
    "operation.\n\nIf all product files will be successfully deleted, no restart is required. "
    "Otherwise, Windows must be restarted to complete the uninstallation.\n\nRetry delete operation?";

// What this replay queued for deletion at the restart. Files are undone before the folders they
// lie in (newest first), so a folder that holds only queued files and folders is queued after them.
const DWORD kQueuedLimit = 128;
static struct {
    char *paths[kQueuedLimit];
    DWORD count;
} queued;

static bool foldersStayQuietly;

// The path whose undo waits, and the lines deferred so far, each ending in CR LF.
static struct {
    char path[MAX_PATH];
    char *lines;
    DWORD length;
} deferred;

// Whether the line undoes the deferred file, or a folder that holds it.
static bool IsDeferred(DWORD code, const char *argument)
{
    int length = lstrlenA(argument);
    if (deferred.path[0] == '\0' || (code != kEventCreateFile && code != kEventCreateDir))
        return false;
    if (code == kEventCreateFile)
        return lstrcmpiA(argument, deferred.path) == 0;
    return length > 0 && length < lstrlenA(deferred.path) && deferred.path[length] == '\\' &&
           CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, argument, length, deferred.path, length) == CSTR_EQUAL;
}

static void Defer(const char *name, const char *rest)
{
    DWORD nameLength = (DWORD)lstrlenA(name), restLength = (DWORD)lstrlenA(rest);
    char *grown = (char *)MemAlloc(deferred.length + nameLength + restLength + 4);
    char *end = grown + deferred.length;
    if (deferred.lines != NULL)
        CopyMemory(grown, deferred.lines, deferred.length);
    CopyMemory(end, name, nameLength);
    end[nameLength] = ' ';
    CopyMemory(end + nameLength + 1, rest, restLength);
    lstrcpyA(end + nameLength + 1 + restLength, "\r\n");
    deferred.length += nameLength + restLength + 3;
    MemFree(deferred.lines);
    deferred.lines = grown;
    LogLine(kLogValue, "Deferred until the primary process has ended: %s %s", name, rest);
}

void DeferUndoOf(const char *path)
{
    StrCopyCut(deferred.path, path, MAX_PATH);
}

static void RememberQueued(const char *path)
{
    if (queued.count < kQueuedLimit)
        queued.paths[queued.count++] = StrDup(path);
}

static void ForgetQueued()
{
    while (queued.count > 0)
        MemFree(queued.paths[--queued.count]);
}

static bool IsQueued(const char *path)
{
    for (DWORD i = 0; i < queued.count; i++) {
        if (lstrcmpiA(queued.paths[i], path) == 0)
            return true;
    }
    return false;
}

// Whether everything the folder still holds waits for the restart.
static bool HoldsOnlyQueued(const char *folder)
{
    char pattern[MAX_PATH + 2];
    WIN32_FIND_DATAA found;
    bool onlyQueued = true;
    wsprintfA(pattern, "%s\\*", folder);
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do {
        char path[MAX_PATH * 2];
        if (lstrcmpA(found.cFileName, ".") == 0 || lstrcmpA(found.cFileName, "..") == 0)
            continue;
        wsprintfA(path, "%s\\%s", folder, found.cFileName);
        onlyQueued = IsQueued(path);
    } while (onlyQueued && FindNextFileA(search, &found));
    FindClose(search);
    return onlyQueued;
}

// A folder the user chose that still holds something is a warning; one made on the way (a
// parent) that something else now also uses stays with a log line.
static RunStatus UndoCreateDir(const char *path, const char *qualifier)
{
    RunStatus status;
    StatusInit(&status);
    char queuedName[MAX_PATH];
    if (RemoveDirectoryA(path)) {
        LogLine(kLogAction, "Deleted directory \"%s\"", path);
        return status;
    }
    DWORD error = GetLastError();
    bool notEmpty = error == ERROR_DIR_NOT_EMPTY;
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        LogLine(kLogError, "Directory \"%s\" not found", path);
    } else if (notEmpty && HoldsOnlyQueued(path) && QueueFileDeletion(path, false, queuedName)) {
        RememberQueued(queuedName);
    } else if (notEmpty && (foldersStayQuietly || lstrcmpiA(qualifier, kParentMark) == 0)) {
        LogLine(kLogAction, "Directory \"%s\" is still in use, it stays", path);
    } else {
        SetLastError(error);
        WarningBox("Cannot delete directory \"%s\" (%s)", path, LastErrorText());
        StatusSetWarning(&status);
    }
    return status;
}

// A file another program holds open gives access denied, or a sharing violation when that program
// did not allow deletion (a log it writes, a scanner): both mean "in use".
static bool IsInUse(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

static RunStatus UndoCreateFile(const char *path, const char *)
{
    RunStatus status;
    StatusInit(&status);
    if (IsWindowsInf(path) && RemoveDriverPackage(path))
        return status;
    for (;;) {
        if (DeleteOneFile(path))
            return status;
        if (!IsInUse(GetLastError())) {
            WarningBox("Cannot delete file \"%s\" (%s)", path, LastErrorText());
            StatusSetWarning(&status);
            return status;
        }
        bool retry = MsgBox(MB_ICONEXCLAMATION | MB_YESNO, IDNO, kFileInUseQuestion, path) == IDYES;
        LogLine(kLogAction, "Retry %sabled", retry ? "en" : "dis");
        if (!retry)
            break;
    }
    char queuedName[MAX_PATH];
    if (QueueFileDeletion(path, true, queuedName)) {
        RememberQueued(queuedName);
    } else {
        WarningBox("Cannot queue \"%s\" to delete (%s)", path, LastErrorText());
        StatusSetWarning(&status);
    }
    Run.RestartNeeded = true;
    return status;
}

static RunStatus UndoCreateKey(const char *path, const char *)
{
    RunStatus status;
    StatusInit(&status);
    if (!RegDeleteKeyPath(path) && GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND)
        StatusSetWarning(&status);
    return status;
}

static const EventUndo *FindEventUndo(DWORD code)
{
    const EventUndo *row = kEventUndoTable;
    while (row->code != kEventUnknown && row->code != code)
        row++;
    return row;
}

RunStatus ReplayEvent(char *line, DWORD mask)
{
    RunStatus status;
    StatusInit(&status);
    char *blank = (char *)StrFindChar(line, ' ');
    char *rest = blank != NULL ? blank + 1 : line + lstrlenA(line);
    if (blank != NULL)
        *blank = '\0';   // the line is the replay's own copy: the name ends here
    DWORD code = EventCode(line);
    if ((EventBit(code) & mask) == 0)
        return status;
    const EventUndo *row = FindEventUndo(code);
    if (row->code == kEventUnknown) {
        WarningBox("Unknown installation event %s", line);
        StatusSetWarning(&status);
        return status;
    }
    // Whatever was recorded fits a journal line, so its argument fits this buffer.
    char argument[kJournalLineSize];
    const char *after = GetToken(SkipBlanks(rest), argument, kJournalLineSize);
    if (IsDeferred(code, argument)) {
        Defer(line, rest);
        return status;
    }
    if (row->undo != NULL)
        StatusMerge(&status, row->undo(argument, after != NULL ? SkipBlanks(after) : ""));
    return status;
}

RunStatus ReplayJournal(char *text, DWORD mask)
{
    RunStatus status;
    StatusInit(&status);
    if (text == NULL)
        return status;
    ForgetQueued();
    // One backward pass: each line is found by looking back from the end of the one after it.
    // The removal of files and keys shows its progress, by the journal's length, once it lasts.
    char *end = text + lstrlenA(text);
    WorkMeter meter;
    bool metered = mask == PhaseMask(kSecondaryPhase);
    StartWorkMeter(&meter, end - text);
    if (metered)
        ShowMeteredProgress(&meter, "Removing files...", false);
    for (;;) {
        char *cr = end;
        while (cr > text && cr[-1] != '\r')
            cr--;
        char *line = cr;
        if (cr > text && *line == '\n')
            line++;
        if (*line != '\0' && *line != ';')
            StatusMerge(&status, ReplayEvent(line, mask));
        meter.done = meter.total - (cr - text);
        if (cr == text)
            break;
        end = cr - 1;
        *end = '\0';
    }
    if (metered)
        ShowProgress(false, NULL);
    // A deferred folder may still hold files queued here.
    if (deferred.lines == NULL)
        ForgetQueued();
    return status;
}

RunStatus ReplayDeferred()
{
    RunStatus status;
    StatusInit(&status);
    deferred.path[0] = '\0';
    for (char *line = deferred.lines; line != NULL && *line != '\0';) {
        char *end = (char *)StrFindStr(line, "\r\n");
        *end = '\0';
        StatusMerge(&status, ReplayEvent(line, kAllEvents));
        line = end + 2;
    }
    MemFree(deferred.lines);
    deferred.lines = NULL;
    deferred.length = 0;
    ForgetQueued();
    return status;
}

RunStatus ReplayInPhases(char *text, bool quiet)
{
    RunStatus status;
    StatusInit(&status);
    if (text == NULL)
        return status;
    char *copy = StrDup(text);   // each pass consumes its text
    foldersStayQuietly = quiet;
    StatusMerge(&status, ReplayJournal(copy, PhaseMask(kPrimaryPhase)));
    StatusMerge(&status, ReplayJournal(text, PhaseMask(kSecondaryPhase)));
    foldersStayQuietly = false;
    MemFree(copy);
    return status;
}

bool JournalRightsGranted(const char *journal)
{
    char line[kJournalLineSize];
    if (FindJournalEvent(line, journal, kEventAdmRightsRequired) != NULL)
        RequireAdminRights();
    return !Run.AdminRightsRequired || CheckAdminRights();
}
