#include "system/library.h"
#include "support/tracelog.h"
#include "support/errortext.h"

// The program runs with administrator rights from download and temporary folders, where a
// planted DLL of the same name would be found first: only the system folder's copy is loaded.
static bool SystemLibraryPath(char *path, const char *name)
{
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + (UINT)lstrlenA(name) >= MAX_PATH) {
        if (length != 0)
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    wsprintfA(path + length, "\\%s", name);
    return true;
}

// Both calls are younger than the oldest system the program runs on: found by name.
void RestrictLibrarySearch()
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesProcedure)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryProcedure)(LPCSTR);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SetDefaultDllDirectoriesProcedure setDefault =
        (SetDefaultDllDirectoriesProcedure)GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (setDefault != NULL && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    // Without it, at least the current folder leaves the search.
    SetDllDirectoryProcedure setDirectory = (SetDllDirectoryProcedure)GetProcAddress(kernel, "SetDllDirectoryA");
    if (setDirectory != NULL)
        setDirectory("");
}

HMODULE LibraryLoad(const char *name)
{
    char path[MAX_PATH];
    HMODULE module = NULL;
    LogLine(kLogLibrary, "Loading %s", name);
    if (SystemLibraryPath(path, name))
        module = LoadLibraryA(path);
    if (module == NULL)
        LogLine(kLogError, "Cannot load %s (%s)", name, LastErrorText());
    return module;
}

// The manifest names the common controls' version 6, which lives in the side-by-side store: loaded
// by name, the activation context finds it there before any folder is searched, and the search
// itself is restricted to the system folder. A full path would load the old version 5 instead.
HMODULE LibraryLoadByManifest(const char *name)
{
    LogLine(kLogLibrary, "Loading %s", name);
    HMODULE module = LoadLibraryA(name);
    if (module == NULL)
        LogLine(kLogError, "Cannot load %s (%s)", name, LastErrorText());
    return module;
}

bool LibraryUnload(const char *name, HMODULE module)
{
    LogLine(kLogLibrary, "Unloading %s", name);
    if (!FreeLibrary(module)) {
        LogLine(kLogError, "Cannot unload %s (%s)", name, LastErrorText());
        return false;
    }
    return true;
}

bool LibraryResolve(HMODULE module, const ProcedureSlot *table, const char **missing)
{
    for (; table->name != NULL; table++) {
        *table->slot = GetProcAddress(module, table->name);
        if (*table->slot == NULL) {
            *missing = table->name;
            return false;
        }
    }
    return true;
}
