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
const UINT kLongTextSize = kExpandBufferSize * 2;   // what the environment's expansion may give
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

// The table's variables, then the environment's, expanded into `expanded` (kLongTextSize bytes);
// false when the text had to be cut on the way or passes the path limit.
static bool ExpandLong(char *expanded, const char *source)
{
    char own[kExpandBufferSize];
    UINT length = 0;
    bool fits = true;
    for (const char *position = source; *position != '\0' && fits;) {
        const char *close = *position == '%' ? StrFindChar(position + 1, '%') : NULL;
        UINT nameLength = close != NULL ? (UINT)(close - position - 1) : 0;
        const Variable *variable = NULL;
        if (nameLength >= 1 && nameLength <= kVariableNameLimit)
            variable = FindVariable(position + 1, nameLength);
        if (variable != NULL) {
            const char *value = *variable->value != NULL ? *variable->value : "";
            fits = AppendText(own, &length, value, (UINT)lstrlenA(value));
            position = close + 1;
        } else {
            const char *next = NextChar(position);
            fits = AppendText(own, &length, position, (UINT)(next - position));
            position = next;
        }
    }
    own[length] = '\0';
    DWORD needed = ExpandEnvironmentStringsA(own, expanded, kLongTextSize);
    if (needed == 0 || needed > kLongTextSize) {
        lstrcpynA(expanded, own, kLongTextSize);
        return false;
    }
    return fits && needed <= MAX_PATH;   // needed counts the terminator
}

static bool IsAbsolutePath(const char *name)
{
    return name[0] == '\\' || (name[0] != '\0' && name[1] == ':');
}

// folder\name, both expanded, into `joined` (kLongTextSize bytes); false as for ExpandLong.
static bool JoinLong(char *joined, const char *folder, const char *name)
{
    if (IsAbsolutePath(name))
        return ExpandLong(joined, name);
    char expandedName[kLongTextSize];
    bool folderFits = ExpandLong(joined, folder);
    bool nameFits = ExpandLong(expandedName, name);
    UINT length = (UINT)lstrlenA(joined);
    if (length > 0 && !EndsWithChar(joined, '\\') && length + 1 < kLongTextSize)
        lstrcpyA(joined + length++, "\\");
    StrCopyCut(joined + length, expandedName, kLongTextSize - length);
    return folderFits && nameFits && length + (UINT)lstrlenA(expandedName) < MAX_PATH;
}

// A path that does not fit is never used cut: the destination stays empty, which fails every file
// operation. The log names it, and so does the caller's box when it gives one.
static bool TakePath(char *destination, const char *text, bool fits, const char *failure)
{
    if (fits) {
        lstrcpyA(destination, text);
        return true;
    }
    char shown[MAX_PATH];
    destination[0] = '\0';
    StrCopyCut(shown, text, MAX_PATH - 3);
    if (lstrlenA(text) >= MAX_PATH - 4)
        lstrcatA(shown, "...");
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    LogLine(kLogError, "Path does not fit in %u characters: \"%s\"", MAX_PATH - 1, shown);
    if (failure != NULL)
        ErrorBox(failure, shown, LastErrorText());
    return false;
}

bool ExpandVariables(char *destination, const char *source, const char *failure)
{
    char text[kLongTextSize];
    bool fits = ExpandLong(text, source);
    return TakePath(destination, text, fits, failure);
}

bool JoinPath(char *destination, const char *folder, const char *name, const char *failure)
{
    char text[kLongTextSize];
    bool fits = JoinLong(text, folder, name);
    return TakePath(destination, text, fits, failure);
}
