// Copying the product's files into place, and the question before an existing one is taken over.
#pragma once
#include <windows.h>
#include "support/runstate.h"

#include "script/setup_script.h"

extern const char kCannotOpenSource[];        // the source's path, the system's error
extern const char kCannotCreateDestination[]; // the destination's path, the system's error
extern const char kAlreadyExists[];           // "File" or "Directory", the path

// Copies every FileList entry in order and records each copied file, under a progress window with
// a Cancel button once the copy lasts; a cancelled copy fails.
RunStatus CopyFiles();
// An entry's source path (from SourceDir, its named subfolder or an absolute folder) and its
// destination path, both MAX_PATH bytes; false after a box when one does not fit.
bool ComposeEntryPaths(const ScriptEntry *entry, char *source, char *destination);
// "Directory" or "File": only an advanced user may answer Yes.
bool ConfirmOverwrite(const char *kind, const char *name);
