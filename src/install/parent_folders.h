// Folders made on the way: the missing parents of a folder the user chose (Vendor of
// %ProgramFilesDir%\Vendor\Product) and the missing destination folders of the product's files
// (Presets\Factory). Each is recorded as a parent right after it is made, parents first: at
// uninstallation it goes when empty, and stays quietly when something else still uses it (the
// vendor's second product).
#pragma once
#include <windows.h>
#include "support/runstate.h"

// The folders above path that do not exist yet.
RunStatus MakeParentFolders(const char *path);
// The folder and the folders above it that do not exist yet.
RunStatus MakeMissingFolders(const char *folder);
bool IsFolder(const char *path);
