#include "script/variables.h"
#include "script/setup_script.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/tracelog.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/text.h"
#include "system/registry.h"
#include <shlobj.h>

SystemFolderSet SystemFolders;

const Variable kVariableTable[] = {
    { "WindowsDir", &SystemFolders.WindowsDir },
    { "ProgramFilesDir", &SystemFolders.ProgramFilesDir },
    { "LocalProgramsFolder", &SystemFolders.LocalProgramsFolder },
    { "CommonProgramsFolder", &SystemFolders.CommonProgramsFolder },
    { "InstallDir", &Run.InstallDir },
    { "AppName", &Script.AppName },
    { NULL, NULL },
};

const UINT kExpandBufferSize = 512;
const UINT kVariableNameLimit = 50;

bool ResolveSystemFolders()
{
    char folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
    if (PathCallFailed(length, "Cannot get Windows directory (%s)"))
        return false;
    SystemFolders.WindowsDir = StrDup(folder);
    if (!SHGetSpecialFolderPathA(NULL, folder, CSIDL_PROGRAMS, TRUE)) {
        LogLine(kLogError, "Cannot get local programs path (%s)", LastErrorText());
        return false;
    }
    SystemFolders.LocalProgramsFolder = StrDup(folder);
    if (Run.IsNT && SHGetSpecialFolderPathA(NULL, folder, CSIDL_COMMON_PROGRAMS, TRUE)) {
        SystemFolders.CommonProgramsFolder = StrDup(folder);
    } else {
        if (Run.IsNT)
            LogLine(kLogError, "Cannot get common programs path (%s)", LastErrorText());
        SystemFolders.CommonProgramsFolder = StrDup(SystemFolders.LocalProgramsFolder);
    }
    SystemFolders.ProgramFilesDir = RegReadStringCopy(HKEY_LOCAL_MACHINE,
        "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", true);
    return SystemFolders.ProgramFilesDir != NULL;
}

// The table's variable named by the text between two percent signs, or null.
static const Variable *FindVariable(const char *name, UINT length)
{
    char wanted[kVariableNameLimit + 1];
    CopyMemory(wanted, name, length);
    wanted[length] = '\0';
    for (const Variable *variable = kVariableTable; variable->name != NULL; variable++) {
        if (lstrcmpA(variable->name, wanted) == 0)
            return variable;
    }
    return NULL;
}

static bool AppendText(char *buffer, UINT *length, const char *text, UINT count)
{
    if (*length + count >= kExpandBufferSize)
        return false;
    CopyMemory(buffer + *length, text, count);
    *length += count;
    return true;
}

// False when the result does not fit: the destination is then empty.
static bool ExpandInto(char *destination, const char *source, bool *replaced)
{
    char expanded[kExpandBufferSize];
    UINT length = 0;
    bool fits = true;
    destination[0] = '\0';
    for (const char *position = source; *position != '\0' && fits;) {
        const char *close = *position == '%' ? StrFindChar(position + 1, '%') : NULL;
        UINT nameLength = close != NULL ? (UINT)(close - position - 1) : 0;
        const Variable *variable = NULL;
        if (nameLength >= 1 && nameLength <= kVariableNameLimit)
            variable = FindVariable(position + 1, nameLength);
        if (variable != NULL) {
            const char *value = *variable->value != NULL ? *variable->value : "";
            fits = AppendText(expanded, &length, value, (UINT)lstrlenA(value));
            *replaced = true;
            position = close + 1;
        } else {
            fits = AppendText(expanded, &length, position, 1);
            position++;
        }
    }
    if (!fits)
        return false;
    expanded[length] = '\0';
    char environment[kExpandBufferSize * 2];
    DWORD needed = ExpandEnvironmentStringsA(expanded, environment, sizeof environment);
    if (needed == 0 || needed > MAX_PATH)   // needed counts the terminator
        return false;
    lstrcpyA(destination, environment);
    return true;
}

static void ReportTooLong(const char *folder, const char *name)
{
    LogLine(kLogError, "Path does not fit in %u characters: \"%s%s%s\"", MAX_PATH - 1, folder,
            folder[0] != '\0' ? "\" + \"" : "", name);
}

bool ExpandVariables(char *destination, const char *source)
{
    bool replaced = false;
    if (!ExpandInto(destination, source, &replaced))
        ReportTooLong("", source);
    return replaced;
}

static bool IsAbsolutePath(const char *name)
{
    return name[0] == '\\' || (name[0] != '\0' && name[1] == ':');
}

char *JoinPath(char *destination, const char *folder, const char *name)
{
    bool replaced = false;
    char expandedName[MAX_PATH];
    bool fits;
    if (IsAbsolutePath(name)) {
        fits = ExpandInto(destination, name, &replaced);
    } else {
        fits = ExpandInto(destination, folder, &replaced) && ExpandInto(expandedName, name, &replaced);
        UINT length = (UINT)lstrlenA(destination);
        bool needSlash = length > 0 && destination[length - 1] != '\\';
        fits = fits && length + (needSlash ? 1 : 0) + (UINT)lstrlenA(expandedName) < MAX_PATH;
        if (fits) {
            if (needSlash)
                lstrcatA(destination, "\\");
            lstrcatA(destination, expandedName);
        }
    }
    if (!fits) {
        // Never a cut path, never the name alone: an empty path fails every file operation.
        destination[0] = '\0';
        ReportTooLong(IsAbsolutePath(name) ? "" : folder, name);
    }
    return destination;
}
