// The uninstall journal as it is recorded and kept on disk: every change the installation makes is
// appended as one event line, right after it was made, and uninst.ini in the installation folder
// follows. Searching and replaying a journal belong to the uninstaller.
#pragma once
#include <windows.h>

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

const DWORD kAllEvents = 0xFFFFFFFF;
// A composed event line and its terminator: what is recorded is never longer, and whatever
// reads a line or its argument back uses a buffer of this size.
const UINT kJournalLineSize = 368;
extern const char kJournalHeader[];
extern const char kJournalFileName[];   // "uninst.ini"
// After a CreateDir argument: the folder was made on the way to another (a parent, a file's
// destination), and stays quietly when something else still uses it.
extern const char kParentMark[];        // "parent"

// False after a box; the journal is then unchanged.
bool JournalAppendLine(const char *text);
// Appends the event's name, or the name, a blank and the formatted argument (format may be null).
// A line that would not fit is refused with a box, never cut. True means appended: once the
// journal has been saved, the file follows every record at once (so that a run killed at any
// moment leaves a journal naming everything it made but what it was making), and a failure of
// that save is logged, not reported; the next save of the installation's own reports it.
bool JournalAddEvent(DWORD code, const char *format, ...);
const char *EventName(DWORD code);
DWORD EventCode(const char *name);   // case ignored; 0 for a name not in the table
DWORD EventBit(DWORD code);          // bit (code - 1) of an event mask

// Where the journal is saved: uninst.ini in the installation folder (path: MAX_PATH bytes).
void JournalSetFile(const char *path);
// Writes the whole journal to its file, replacing what was there; false after a box. The first
// save records the file itself, and that line reaches the disk at once.
bool SaveJournal();
// The text recorded so far (null before the first line); it grows in 512-byte steps.
char *JournalText();
// Forgets the text, the file and that it was saved: the next installation starts anew.
void JournalClear();
