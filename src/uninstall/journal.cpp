#include "uninstall/journal.h"
#include "install/file_ops.h"
#include "script/variables.h"
#include "shell/msgbox.h"
#include "shell/tracelog.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/text.h"
#include "system/registry.h"
#include <stdarg.h>

const JournalEvent kJournalEvents[] = {
    { "AppName", kEventAppName },
    { "AdmRightsRequired", kEventAdmRightsRequired },
    { "CreateDir", kEventCreateDir },
    { "CreateFile", kEventCreateFile },
    { "CreateKey", kEventCreateKey },
    { "CreateValue", kEventCreateValue },
    { "InstallService", kEventInstallService },
    { "InstallDevice", kEventInstallDevice },
    { "InstallMmeDriver", kEventInstallMmeDriver },
    { NULL, kEventUnknown },
};

const char kJournalHeader[] =
    ";\r\n; Caution!\r\n; Do not delete or modify this file. It is required to product uninstallation.\r\n;\r\n";
const char kJournalFileName[] = "uninst.ini";

const DWORD kJournalGrowth = 512;
const UINT kEventNameLimit = 64;

UninstallJournal Journal;

bool JournalAppendLine(const char *text)
{
    DWORD needed = (DWORD)lstrlenA(text) + 3;
    DWORD free = Journal.capacity - Journal.length;
    if (free < needed) {
        DWORD growth = (needed - free + kJournalGrowth - 1) / kJournalGrowth * kJournalGrowth;
        DWORD capacity = Journal.capacity + growth;
        char *block = (char *)MemAlloc(capacity);
        if (block == NULL) {
            ErrorBox("Cannot alloc %u bytes for log file (%s)", capacity, LastErrorText());
            return false;
        }
        if (Journal.text != NULL)
            CopyMemory(block, Journal.text, Journal.length + 1);
        MemFree(Journal.text);
        Journal.text = block;
        Journal.capacity = capacity;
    }
    // Copied, not formatted: wsprintfA would cut a line at 1024 bytes.
    DWORD length = needed - 3;
    CopyMemory(Journal.text + Journal.length, text, length);
    CopyMemory(Journal.text + Journal.length + length, "\r\n", 3);
    Journal.length += length + 2;
    return true;
}

bool JournalAddEvent(DWORD code, const char *format, ...)
{
    char line[kEventNameLimit + kMaxFormattedText];   // the name, a blank and a formatted text
    int length = wsprintfA(line, "%s", EventName(code));
    if (format != NULL) {
        va_list arguments;
        va_start(arguments, format);
        line[length++] = ' ';
        wvsprintfA(line + length, format, arguments);
        va_end(arguments);
    }
    // A cut line would name something else at uninstallation: refuse it instead.
    if (lstrlenA(line) >= (int)kJournalLineSize) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        ErrorBox("Cannot record \"%s\" in the uninstall journal (%s)", line, LastErrorText());
        return false;
    }
    return JournalAppendLine(line);
}

const char *EventName(DWORD code)
{
    for (const JournalEvent *event = kJournalEvents; event->name != NULL; event++) {
        if (event->code == code)
            return event->name;
    }
    return "";
}

DWORD EventCode(const char *name)
{
    for (const JournalEvent *event = kJournalEvents; event->name != NULL; event++) {
        if (lstrcmpiA(event->name, name) == 0)
            return event->code;
    }
    return kEventUnknown;
}

DWORD EventBit(DWORD code)
{
    return 1u << ((code - 1) & 31);
}

bool SaveJournal()
{
    char path[MAX_PATH];
    JoinPath(path, Run.InstallDir, kJournalFileName);
    if (!SaveFile(path, Journal.text, Journal.length))
        return false;
    if (Journal.fileRecorded)
        return true;
    if (!JournalAddEvent(kEventCreateFile, "\"%s\"", path))
        return false;
    Journal.fileRecorded = true;
    return true;
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
            const char *rest = SkipBlanks(line + nameLength);
            int restLength = lineLength - (int)(rest - line);
            if (restLength < 0)
                restLength = 0;
            if (restLength >= (int)kJournalLineSize)
                restLength = kJournalLineSize - 1;
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

static RunStatus UndoCreateDir(const char *path)
{
    RunStatus status;
    StatusInit(&status);
    if (RemoveDirectoryA(path)) {
        LogLine(7, "Deleted directory \"%s\"", path);
    } else if (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND) {
        LogLine(kLogError, "Directory \"%s\" not found", path);
    } else {
        WarningBox("Cannot delete directory \"%s\" (%s)", path, LastErrorText());
        StatusSetWarning(&status);
    }
    return status;
}

static RunStatus UndoCreateFile(const char *path)
{
    RunStatus status;
    StatusInit(&status);
    for (;;) {
        if (DeleteOneFile(path))
            return status;
        if (GetLastError() != ERROR_ACCESS_DENIED) {
            WarningBox("Cannot delete file \"%s\" (%s)", path, LastErrorText());
            StatusSetWarning(&status);
            return status;
        }
        bool retry = MsgBox(MB_ICONEXCLAMATION | MB_YESNO, kFileInUseQuestion, path) == IDYES;
        LogLine(7, "Retry %sabled", retry ? "en" : "dis");
        if (!retry)
            break;
    }
    if (!QueueFileDeletion(path, true)) {
        WarningBox("Cannot queue \"%s\" to delete (%s)", path, LastErrorText());
        StatusSetWarning(&status);
    }
    Run.RestartNeeded = true;
    return status;
}

static RunStatus UndoCreateKey(const char *path)
{
    RunStatus status;
    StatusInit(&status);
    if (!RegDeleteKeyPath(path) && GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND)
        StatusSetWarning(&status);
    return status;
}

static RunStatus ReportUnknownEvent(const char *name)
{
    RunStatus status;
    StatusInit(&status);
    WarningBox("Unknown installation event %s", name);
    StatusSetWarning(&status);
    return status;
}

RunStatus ReplayEvent(char *line, DWORD mask)
{
    RunStatus status;
    StatusInit(&status);
    char *blank = (char *)StrFindChar(line, ' ');
    char *rest = blank != NULL ? blank + 1 : line + lstrlenA(line);
    if (blank != NULL)
        *blank = '\0';   // the line is the replay's own copy: the name ends here
    DWORD code = lstrlenA(line) < (int)kEventNameLimit ? EventCode(line) : (DWORD)kEventUnknown;
    if ((EventBit(code) & mask) == 0)
        return status;
    char argument[MAX_PATH];
    GetToken(SkipBlanks(rest), argument, MAX_PATH);
    switch (code) {
    case kEventAppName:
    case kEventAdmRightsRequired:
        break;
    case kEventCreateDir:
        StatusMerge(&status, UndoCreateDir(argument));
        break;
    case kEventCreateFile:
        StatusMerge(&status, UndoCreateFile(argument));
        break;
    case kEventCreateKey:
        StatusMerge(&status, UndoCreateKey(argument));
        break;
    default:
        // Services, devices and legacy drivers are undone by their own subsystems.
        StatusMerge(&status, ReportUnknownEvent(line));
        break;
    }
    return status;
}

RunStatus ReplayJournal(char *text, DWORD mask)
{
    RunStatus status;
    StatusInit(&status);
    if (text == NULL)
        return status;
    // One backward pass: each line is found by looking back from the end of the one after it.
    char *end = text + lstrlenA(text);
    for (;;) {
        char *cr = end;
        while (cr > text && cr[-1] != '\r')
            cr--;
        char *line = cr;
        if (cr > text && *line == '\n')
            line++;
        if (*line != '\0' && *line != ';')
            StatusMerge(&status, ReplayEvent(line, mask));
        if (cr == text)
            break;
        end = cr - 1;
        *end = '\0';
    }
    return status;
}
