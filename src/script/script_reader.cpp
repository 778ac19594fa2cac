#include "script/script_reader.h"
#include "script/variables.h"
#include "system/file_ops.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/tracelog.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/text.h"

const MainKey kMainKeyTable[] = {
    { "AppName", &Script.AppName, true },
    { "AppVersion", &Script.AppVersion, true },
    { "DefaultProgramGroup", &Script.DefaultProgramGroup, true },
    { "DefaultInstallDir", &Script.DefaultInstallDir, true },
    { "StartMenuFolder", &Script.StartMenuFolder, true },
    { "DeviceName", &Script.DeviceName, false },
    { "DeviceHardwareId", &Script.DeviceHardwareId, false },
    { "WdmDriverInfFile", &Script.WdmDriverInfFile, false },
    { "MmeDriverModule", &Script.MmeDriverModule, false },
    { "MmeDriverCategories", &Script.MmeDriverCategories, false },
    { "ServiceName", &Script.ServiceName, false },
    { "ServiceImage", &Script.ServiceImage, false },
    { "ServiceType", &Script.ServiceType, false },
    { "ServiceStartup", &Script.ServiceStartup, false },
    { "ReadmeFile", &Script.ReadmeFile, false },
    { "LicenseFile", &Script.LicenseFile, false },
    { "HelpFile", &Script.HelpFile, false },
    { "RegisterUninstaller", &Script.RegisterUninstaller, false },
    { NULL, NULL, false },
};

const char kDuplicateKeyMessage[] = "Duplicate key %s";
const char kMissingKeyMessage[] = "Key %s must be present";
const char kKeyTooLongMessage[] = "Key %s is too long once its variables are expanded (%s)";

const DWORD kEntryValueSize = MAX_PATH;
const UINT kKeyListBytesPerEntry = 50;
const char kAbsentMarker = 0x1A;
const UINT kSectionNameSize = 64;
const DWORD kKeyListSizeLimit = 1 << 20;

const char *SectionDecoration()
{
    WORD architecture = Run.SystemInfo.wProcessorArchitecture;
    return architecture == PROCESSOR_ARCHITECTURE_AMD64 || architecture == PROCESSOR_ARCHITECTURE_IA64
               ? ".NTamd64" : "";
}

int ReadProfileValue(const char *scriptPath, const char *section, const char *key, char *buffer, DWORD size)
{
    const char absent[2] = { kAbsentMarker, '\0' };
    DWORD length = GetPrivateProfileStringA(section, key, absent, buffer, size, scriptPath);
    if (buffer[0] == kAbsentMarker) {
        buffer[0] = '\0';
        return -1;
    }
    return (int)length;
}

bool ReadMainKeys(const char *scriptPath, const char *section)
{
    for (const MainKey *row = kMainKeyTable; row->name != NULL; row++) {
        char value[kMainValueSize];
        if (ReadProfileValue(scriptPath, section, row->name, value, kMainValueSize) <= 0)
            continue;
        if (*row->value != NULL) {
            ErrorBox(kDuplicateKeyMessage, row->name);
            return false;
        }
        char expanded[MAX_PATH];
        if (!ExpandVariables(expanded, value)) {
            ErrorBox(kKeyTooLongMessage, row->name, LastErrorText());
            return false;
        }
        *row->value = StrDup(expanded);
        LogLine(kLogValue, "%s=\"%s\"", row->name, expanded);
    }
    return true;
}

bool ReadMainSection(const char *scriptPath)
{
    char decorated[kSectionNameSize];
    if (!ReadMainKeys(scriptPath, "Main"))
        return false;
    // Without a decoration the twin would be the base section again: nothing more to read.
    if (SectionDecoration()[0] != '\0') {
        wsprintfA(decorated, "Main%s", SectionDecoration());
        if (!ReadMainKeys(scriptPath, decorated))
            return false;
    }
    LogLine(kLogValue, "----");
    for (const MainKey *row = kMainKeyTable; row->name != NULL; row++) {
        if (row->required && (*row->value == NULL || (*row->value)[0] == '\0')) {
            ErrorBox(kMissingKeyMessage, row->name);
            return false;
        }
    }
    return true;
}

bool AddScriptEntry(ScriptEntry *list, DWORD *count, const char *name, const char *path, const char *extra)
{
    list[*count].Name = StrDup(name);
    list[*count].Path = StrDup(path);
    list[*count].Extra = StrDup(extra);
    (*count)++;
    return true;
}

// All key names of a section, double-zero terminated, in a heap block the caller frees (MemFree).
// The block starts at 50 bytes per allowed entry and grows until no name is cut off, so that a
// section of long names loses none of them. Past the limit the count check has long decided.
static char *ReadKeyNames(const char *scriptPath, const char *section, UINT allowed)
{
    DWORD size = allowed * kKeyListBytesPerEntry;
    if (size < kKeyListBytesPerEntry)
        size = kKeyListBytesPerEntry;   // enough to see that a section has any entry at all
    for (;;) {
        char *names = (char *)MemAlloc(size);
        DWORD length = GetPrivateProfileStringA(section, NULL, "", names, size, scriptPath);
        if (length < size - 2 || size >= kKeyListSizeLimit)
            return names;
        MemFree(names);
        size *= 2;
    }
}

static void SplitEntryValue(char *value, const char **path, const char **extra)
{
    *path = value;
    char *comma = (char *)StrFindChar(value, ',');
    if (comma == NULL) {
        *extra = "";
        return;
    }
    *comma = '\0';
    *extra = SkipBlanks(comma + 1);
}

int ReadEntrySection(const char *scriptPath, const char *section, ScriptEntry *list, DWORD *count, UINT allowed)
{
    char *names = ReadKeyNames(scriptPath, section, allowed);
    int read = 0;
    for (const char *name = names; *name != '\0'; name += lstrlenA(name) + 1) {
        if ((UINT)read == allowed) {
            ErrorBox("%s section has more than %u entries", section, allowed);
            read = -1;
            break;
        }
        char value[kEntryValueSize];
        const char *path;
        const char *extra;
        ReadProfileValue(scriptPath, section, name, value, kEntryValueSize);
        SplitEntryValue(value, &path, &extra);
        AddScriptEntry(list, count, name, path, extra);
        read++;
    }
    MemFree(names);
    return read;
}

static bool ReadListSections(const char *scriptPath, const char *base, ScriptEntry *list, DWORD *count)
{
    int read = ReadEntrySection(scriptPath, base, list, count, kScriptEntryLimit);
    if (read < 0)
        return false;
    if (SectionDecoration()[0] == '\0')
        return true;
    char decorated[kSectionNameSize];
    wsprintfA(decorated, "%s%s", base, SectionDecoration());
    return ReadEntrySection(scriptPath, decorated, list, count, kScriptEntryLimit - (UINT)read) >= 0;
}

bool ReadFilesSection(const char *scriptPath)
{
    return ReadListSections(scriptPath, "Files", Script.FileList, &Script.FileCount);
}

bool ReadLinksSection(const char *scriptPath)
{
    return ReadListSections(scriptPath, "Links", Script.LinkList, &Script.LinkCount);
}

bool ReadSetupScript()
{
    char scriptPath[MAX_PATH];
    if (!JoinPath(scriptPath, Run.SourceDir, "setup.ini", kCannotOpenFile))
        return false;
    HANDLE file = CreateFileA(scriptPath, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        ErrorBox(kCannotOpenFile, scriptPath, LastErrorText());
        return false;
    }
    CloseHandle(file);
    return ReadMainSection(scriptPath) && ReadFilesSection(scriptPath) && ReadLinksSection(scriptPath);
}
