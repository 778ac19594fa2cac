// Copying the product's files into place, and the question before an existing one is taken over.
#pragma once
#include <windows.h>
#include "support/runstate.h"

// Copies every FileList entry in order and records each copied file.
RunStatus CopyFiles();
// "Directory" or "File": only an advanced user may answer Yes.
bool ConfirmOverwrite(const char *kind, const char *name);
