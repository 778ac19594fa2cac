// A journal read back: searched for an event, and replayed newest first to undo the changes it
// records. Recording and saving lie below, in the system layer.
#pragma once
#include <windows.h>
#include "support/runstate.h"
#include "system/journal_recorder.h"

// Which of the two uninstaller processes undoes an event: the primary removes the devices and
// legacy drivers while it still runs from the installation folder, the secondary the rest.
enum UninstallPhase { kPrimaryPhase, kSecondaryPhase };
DWORD PhaseMask(UninstallPhase phase);

// The rest of the first line of that event (blanks after the name skipped) in output
// (kJournalLineSize bytes); null when the text has no such line.
char *FindJournalEvent(char *output, const char *text, DWORD code);
// Undoes the selected events newest first; the text is consumed.
RunStatus ReplayJournal(char *text, DWORD mask);
RunStatus ReplayEvent(char *line, DWORD mask);
