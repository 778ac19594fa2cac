// The uninstall journal: one event line per change, written to uninst.ini and replayed newest
// first to undo the changes.
#pragma once
#include <windows.h>
#include "shell/runstate.h"

enum JournalEventCode {
    kEventUnknown = 0,
    kEventAppName = 1,
    kEventAdmRightsRequired = 2,
    kEventCreateDir = 3,
    kEventCreateFile = 4,
    kEventCreateKey = 5,
    kEventCreateValue = 6,
    kEventInstallService = 7,
    kEventInstallDevice = 8,
    kEventInstallMmeDriver = 9,
};

struct JournalEvent {
    const char *name;
    DWORD code;
};

extern const JournalEvent kJournalEvents[];

const DWORD kAllEvents = 0xFFFFFFFF;
const UINT kJournalLineSize = 368;   // a composed event line and its terminator
extern const char kJournalHeader[];
extern const char kJournalFileName[];

// The in-memory journal; the text grows in 512-byte steps and is never shrunk.
struct UninstallJournal {
    char *text;
    DWORD capacity;
    DWORD length;
    bool fileRecorded;   // uninst.ini itself has its CreateFile line
};

extern UninstallJournal Journal;

bool JournalAppendLine(const char *text);
// The event's name, or the name, a blank and the formatted argument (format may be null).
bool JournalAddEvent(DWORD code, const char *format, ...);
const char *EventName(DWORD code);
DWORD EventCode(const char *name);   // case ignored; 0 for a name not in the table
DWORD EventBit(DWORD code);
bool SaveJournal();
// The rest of the first line of that event (blanks after the name skipped) in output
// (kJournalLineSize bytes); null when the text has no such line.
char *FindJournalEvent(char *output, const char *text, DWORD code);
// Undoes the selected events newest first; the text is consumed.
RunStatus ReplayJournal(char *text, DWORD mask);
RunStatus ReplayEvent(char *line, DWORD mask);
