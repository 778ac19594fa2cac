#include "uninstall/uninstall_entry.h"
#include "script/setup_script.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/errortext.h"
#include "support/text.h"
#include "system/registry.h"
#include "system/journal_recorder.h"

static const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const int kEntryTextSize = 368;

// The entry's name and its command. A text that would not fit, or a name the registry would
// take as a path (a backslash) or the journal could not give back (a double quote), is refused
// before anything is written: a key that cannot be recorded must not be created.
static bool ComposeEntryTexts(char *entryName, char *command)
{
    int nameLength = lstrlenA(Script.AppName) + 1 + lstrlenA(Script.AppVersion);
    int recordLength = lstrlenA("CreateKey \"HKLM\\\\\"") + lstrlenA(kUninstallKey) + nameLength;
    int commandLength = lstrlenA(Run.InstallDir) + 1 + lstrlenA(Run.ExeModuleName) + lstrlenA(" -u -s");
    DWORD error = ERROR_SUCCESS;
    if (recordLength >= (int)kJournalLineSize || commandLength >= kEntryTextSize)
        error = ERROR_FILENAME_EXCED_RANGE;
    else if (StrFindChar(Script.AppName, '\\') || StrFindChar(Script.AppVersion, '\\') ||
             StrFindChar(Script.AppName, '"') || StrFindChar(Script.AppVersion, '"'))
        error = ERROR_INVALID_NAME;
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        ErrorBox("Cannot register the uninstaller of \"%s\" (%s)", Script.AppName, LastErrorText());
        return false;
    }
    wsprintfA(entryName, "%s %s", Script.AppName, Script.AppVersion);
    wsprintfA(command, "%s\\%s", Run.InstallDir, Run.ExeModuleName);
    return true;
}

struct EntryValue {
    const char *name;
    DWORD type;
    const void *data;   // null: the value is not written
};

// Besides the name, the icon, the uninstaller and NoModify, what Settings > Apps shows and
// deployment tools read: the version, the publisher, the size, the folder, the date, and the
// command that uninstalls without a window.
static bool WriteEntryValues(RegKey *entry, const char *entryName, const char *command)
{
    const DWORD yes = 1;
    DWORD kilobytes = (DWORD)((Run.CopiedBytes + 1023) / 1024);
    char uninstall[kEntryTextSize];
    char quiet[kEntryTextSize];
    char date[16];
    SYSTEMTIME today;
    GetLocalTime(&today);
    wsprintfA(date, "%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    wsprintfA(uninstall, "%s -u", command);
    wsprintfA(quiet, "%s -s", uninstall);
    const EntryValue values[] = {
        { "DisplayName", REG_SZ, entryName },
        { "DisplayIcon", REG_SZ, command },
        { "UninstallString", REG_SZ, uninstall },
        { "NoModify", REG_DWORD, &yes },
        { "DisplayVersion", REG_SZ, Script.AppVersion },
        { "Publisher", REG_SZ, Script.Publisher != NULL && Script.Publisher[0] != '\0' ? Script.Publisher : NULL },
        { "EstimatedSize", REG_DWORD, &kilobytes },
        { "InstallLocation", REG_SZ, Run.InstallDir },
        { "InstallDate", REG_SZ, date },
        { "NoRepair", REG_DWORD, &yes },
        { "QuietUninstallString", REG_SZ, quiet },
    };
    for (const EntryValue &value : values) {
        bool written = value.data == NULL ||
                       (value.type == REG_SZ ? RegKeySetString(entry, value.name, (const char *)value.data)
                                             : RegKeySetValue(entry, value.name, value.type, value.data, sizeof(DWORD)));
        if (!written)
            return false;
    }
    return true;
}

bool RegisterUninstallEntry()
{
    bool ok = false;
    RegKey parent;
    RegKey entry;
    char entryName[kEntryTextSize];
    char command[kEntryTextSize];
    RegKeyInit(&parent);
    RegKeyInit(&entry);
    if (!ComposeEntryTexts(entryName, command))
        goto done;
    if (!RegKeyOpen(&parent, HKEY_LOCAL_MACHINE, kUninstallKey, KEY_CREATE_SUB_KEY, true))
        goto done;
    if (!RegKeyCreate(&entry, RegKeyHandle(&parent), entryName, KEY_SET_VALUE))
        goto done;
    // Recorded before any value is set: a failure below still leaves the key to be removed.
    if (!JournalAddEvent(kEventCreateKey, "\"HKLM\\%s\\%s\"", kUninstallKey, entryName))
        goto done;
    ok = WriteEntryValues(&entry, entryName, command);
done:
    RegKeyRelease(&entry);
    RegKeyRelease(&parent);
    return ok;
}
