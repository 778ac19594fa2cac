#include "system/journal_recorder.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/tracelog.h"
#include "system/file_ops.h"
#include <stdarg.h>

struct JournalEvent {
    const char *name;
    DWORD code;
};

static const JournalEvent kJournalEvents[] = {
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

const char kJournalFileName[] = "uninst.ini";
const char kParentMark[] = "parent";

const char kJournalHeader[] =
    ";\r\n; Caution!\r\n; Do not delete or modify this file. It is required to product uninstallation.\r\n;\r\n";

const DWORD kJournalGrowth = 512;
const UINT kEventNameLimit = 64;

// The in-memory journal; the text is never shrunk.
static struct {
    char *text;
    DWORD capacity;
    DWORD length;
    char path[MAX_PATH];   // uninst.ini; empty until the installation names it
    bool saved;            // written once: from then on every record goes to disk at once
    bool fileRecorded;     // uninst.ini's own CreateFile line is in the journal
} journal;

bool JournalAppendLine(const char *text)
{
    DWORD needed = (DWORD)lstrlenA(text) + 3;
    DWORD free = journal.capacity - journal.length;
    if (free < needed) {
        DWORD growth = (needed - free + kJournalGrowth - 1) / kJournalGrowth * kJournalGrowth;
        DWORD capacity = journal.capacity + growth;
        char *block = (char *)MemAlloc(capacity);
        if (block == NULL) {
            ErrorBox("Cannot alloc %u bytes for log file (%s)", capacity, LastErrorText());
            return false;
        }
        if (journal.text != NULL)
            CopyMemory(block, journal.text, journal.length + 1);
        MemFree(journal.text);
        journal.text = block;
        journal.capacity = capacity;
    }
    // Copied, not formatted: wsprintfA would cut a line at 1024 bytes.
    DWORD length = needed - 3;
    CopyMemory(journal.text + journal.length, text, length);
    CopyMemory(journal.text + journal.length + length, "\r\n", 3);
    journal.length += length + 2;
    return true;
}

// The file follows a record at once; a failure is for the trace log only: the record stands, and
// the installation's next save shows the cause.
static void FollowOnDisk()
{
    if (!WriteWholeFile(journal.path, journal.text, journal.length))
        LogLine(kLogError, "Cannot save the journal to \"%s\" (%s)", journal.path, LastErrorText());
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
    if (!JournalAppendLine(line))
        return false;
    if (journal.saved)
        FollowOnDisk();
    return true;
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
    if (lstrlenA(name) >= (int)kEventNameLimit)
        return kEventUnknown;
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

void JournalSetFile(const char *path)
{
    lstrcpynA(journal.path, path, MAX_PATH);
}

bool SaveJournal()
{
    if (!SaveFile(journal.path, journal.text, journal.length))
        return false;
    journal.saved = true;
    if (journal.fileRecorded)
        return true;
    if (!JournalAddEvent(kEventCreateFile, "\"%s\"", journal.path))
        return false;
    journal.fileRecorded = true;
    return true;
}

char *JournalText()
{
    return journal.text;
}

void JournalClear()
{
    if (journal.text != NULL)
        journal.text[0] = '\0';
    journal.length = 0;
    journal.path[0] = '\0';
    journal.saved = false;
    journal.fileRecorded = false;
}
