// Libraries bound at run time, always loaded from the system folder.
#pragma once
#include <windows.h>

struct ProcedureSlot {
    const char *name;
    FARPROC *slot;
};

// From here on the libraries the system loads on the program's behalf come from the system
// folder only, never from the program's, the current or the temporary folder.
void RestrictLibrarySearch();
// name: a system library such as "setupapi.dll"; null when it cannot be loaded (logged only).
HMODULE LibraryLoad(const char *name);
// A library the program's manifest names (the common controls), from the side-by-side store.
HMODULE LibraryLoadByManifest(const char *name);
bool LibraryUnload(const char *name, HMODULE module);
// Resolves every slot in table order (the table ends in a null name); the first missing name
// is returned in *missing with the thread's last error left as GetProcAddress set it.
bool LibraryResolve(HMODULE module, const ProcedureSlot *table, const char **missing);
