// The uninstall journal's recorder: every change the installation makes is appended as one
// event line, right after it was made. Saving and replaying belong to the uninstaller.
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

bool JournalAppendLine(const char *text);
// The event's name, or the name, a blank and the formatted argument (format may be null).
// A line that would not fit is refused with a box, never cut.
bool JournalAddEvent(DWORD code, const char *format, ...);
const char *EventName(DWORD code);
DWORD EventCode(const char *name);   // case ignored; 0 for a name not in the table
DWORD EventBit(DWORD code);          // bit (code - 1) of an event mask

// Once set, called after every recorded event: the journal on disk stays current, so that a run
// killed at any moment leaves a journal that names everything it made but what it was making.
// A saver that fails makes the event's recording fail. Forgetting everything unsets it.
typedef bool (*JournalSaver)();
void SetJournalSaver(JournalSaver saver);

// The text recorded so far (null before the first line); it grows in 512-byte steps.
char *JournalText();
DWORD JournalMark();                  // a point to come back to
void JournalForgetSince(DWORD mark);  // drops what was recorded after it; 0 starts anew
// Whether uninst.ini itself has been recorded (its first save adds its own line).
bool JournalFileRecorded();
void JournalSetFileRecorded();
