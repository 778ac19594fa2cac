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
// Both phases in one process, as a rollback and an upgrade need them: the devices and legacy
// drivers first, as the primary uninstaller does, then everything else. With foldersStayQuietly
// a folder that still holds something stays with a log line (an upgrade keeps the user's files).
RunStatus ReplayInPhases(char *text, bool foldersStayQuietly);
// The undo of one file waits: a silent secondary defers the primary's own copy, which runs until
// the primary has its result, and the recorded folders that hold it. Replayed by ReplayDeferred,
// in the order they were met (newest first).
void DeferUndoOf(const char *path);
RunStatus ReplayDeferred();
// Administrator rights when the installation that wrote the journal needed them; false when they
// cannot be had (the user has been told).
bool JournalRightsGranted(const char *journal);
RunStatus ReplayEvent(char *line, DWORD mask);
