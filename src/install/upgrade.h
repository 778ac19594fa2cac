// Version 2 over version 1: an installed copy of the same product, found by its journal (whose
// AppName is this product's) in the folder this product's entry in the list of installed programs
// names or in the folder the user chose, is removed before the new version is installed: its
// journal is replayed, both phases, in this process. A journal is replayed only when it can be
// trusted: an entry under HKLM names its folder, or only administrators may change that folder.
#pragma once
#include <windows.h>
#include "support/runstate.h"

// Looks for the earlier version by its entry (the chosen folder null: before the options
// dialog), or in the chosen folder first and then by its entry; true when one was found.
bool FindEarlierVersion(const char *chosenFolder);
// The folder the earlier version found is in, and the notice for the options dialog; null when
// none was found.
const char *EarlierVersionFolder();
const char *EarlierVersionNotice();
// Asks once, then removes it; No ends the run quietly. A removal that leaves files in use for the
// restart stops the run before anything new is installed.
RunStatus RemoveEarlierVersion();
// Whether the folder is the earlier version's, which the new version takes as it is.
bool IsEarlierVersionFolder(const char *folder);
