#include "script/script_reader.h"
#include "script/variables.h"
#include "system/binding.h"
#include "system/file_ops.h"
#include "system/work_folder.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/tracelog.h"
#include "support/encoding.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/text.h"

const MainKey kMainKeyTable[] = {
    { "AppName", &Script.AppName, true, false },
    { "AppVersion", &Script.AppVersion, true, false },
    { "DefaultProgramGroup", &Script.DefaultProgramGroup, true, false },
    { "DefaultInstallDir", &Script.DefaultInstallDir, true, false },
    { "StartMenuFolder", &Script.StartMenuFolder, true, false },
    { "DeviceName", &Script.DeviceName, false, false },
    { "DeviceHardwareId", &Script.DeviceHardwareId, false, false },
    { "WdmDriverInfFile", &Script.WdmDriverInfFile, false, false },
    { "MmeDriverModule", &Script.MmeDriverModule, false, false },
    { "MmeDriverCategories", &Script.MmeDriverCategories, false, false },
    { "ServiceName", &Script.ServiceName, false, false },
    { "ServiceImage", &Script.ServiceImage, false, true },
    { "ServiceType", &Script.ServiceType, false, false },
    { "ServiceStartup", &Script.ServiceStartup, false, false },
    { "ReadmeFile", &Script.ReadmeFile, false, false },
    { "LicenseFile", &Script.LicenseFile, false, false },
    { "HelpFile", &Script.HelpFile, false, false },
    { "RegisterUninstaller", &Script.RegisterUninstaller, false, false },
    { "Publisher", &Script.Publisher, false, false },
    { NULL, NULL, false, false },
};

const char kDuplicateKeyMessage[] = "Duplicate key %s";
const char kMissingKeyMessage[] = "Key %s must be present";
const char kKeyTooLongMessage[] = "Key %s is too long once its variables are expanded (%s)";
const char kLackingLetterMessage[] = "Cannot read line %u of \"%s\", key %s: it holds a letter this Windows' code page %u lacks (%s)";
const UINT kKeyNameSize = 64;

const DWORD kEntryValueSize = MAX_PATH;
const UINT kKeyListBytesPerEntry = 50;
const char kAbsentMarker = 0x1A;
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

bool ReadMainKey(const char *scriptPath, const char *section, const MainKey *row)
{
    char value[kMainValueSize];
    if (ReadProfileValue(scriptPath, section, row->name, value, kMainValueSize) <= 0)
        return true;
    if (*row->value != NULL) {
        ErrorBox(kDuplicateKeyMessage, row->name);
        return false;
    }
    char expanded[MAX_PATH];
    if (row->expandedWhenUsed) {
        lstrcpyA(expanded, value);
    } else if (!ExpandVariables(expanded, value)) {
        ErrorBox(kKeyTooLongMessage, row->name, LastErrorText());
        return false;
    }
    *row->value = StrDup(expanded);
    LogLine(kLogValue, "%s=\"%s\"", row->name, expanded);
    return true;
}

bool ReadMainKeys(const char *scriptPath, const char *section)
{
    for (const MainKey *row = kMainKeyTable; row->name != NULL; row++) {
        if (!ReadMainKey(scriptPath, section, row))
            return false;
    }
    return true;
}

bool DecoratedSection(char *name, const char *base)
{
    // Without a decoration the twin would be the base section again: there is none to read.
    if (SectionDecoration()[0] == '\0')
        return false;
    wsprintfA(name, "%s%s", base, SectionDecoration());
    return true;
}

bool CheckRequiredKey(const MainKey *row)
{
    if (!row->required || (*row->value != NULL && (*row->value)[0] != '\0'))
        return true;
    ErrorBox(kMissingKeyMessage, row->name);
    return false;
}

bool ReadMainSection(const char *scriptPath)
{
    char decorated[kSectionNameSize];
    if (!ReadMainKeys(scriptPath, "Main") || (DecoratedSection(decorated, "Main") && !ReadMainKeys(scriptPath, decorated)))
        return false;
    LogLine(kLogValue, "----");
    for (const MainKey *row = kMainKeyTable; row->name != NULL; row++) {
        if (!CheckRequiredKey(row))
            return false;
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
    char decorated[kSectionNameSize];
    int read = ReadEntrySection(scriptPath, base, list, count, kScriptEntryLimit);
    if (read < 0)
        return false;
    return !DecoratedSection(decorated, base) || ReadEntrySection(scriptPath, decorated, list, count, kScriptEntryLimit - (UINT)read) >= 0;
}

bool ReadFilesSection(const char *scriptPath)
{
    return ReadListSections(scriptPath, "Files", Script.FileList, &Script.FileCount);
}

bool ReadLinksSection(const char *scriptPath)
{
    return ReadListSections(scriptPath, "Links", Script.LinkList, &Script.LinkCount);
}

// The key of a line of the text (its name before '='), for a message; kKeyNameSize bytes.
static void KeyOfLine(const char *text, DWORD line, char *key)
{
    for (DWORD n = 1; n < line && *text != '\0'; n++) {
        const char *end = StrFindChar(text, '\n');
        text = end != NULL ? end + 1 : text + lstrlenA(text);
    }
    text = SkipBlanks(text);
    const char *end = text;
    while (*end != '\0' && *end != '=' && *end != '\r' && *end != '\n')
        end = NextChar(end);
    UINT length = (UINT)(end - text) < kKeyNameSize ? (UINT)(end - text) + 1 : kKeyNameSize;
    StrCopyCut(key, text, length);
}

char *ConvertScriptText(const char *bytes, DWORD size, const char *name, DWORD *length)
{
    DWORD badLine = 0;
    char *text = TextToAnsi(bytes, size, true, length, &badLine);
    if (text != NULL)
        return text;
    DWORD error = GetLastError();
    char key[kKeyNameSize];
    char *shown = TextToAnsi(bytes, size, false, NULL, &badLine);
    KeyOfLine(shown, badLine, key);
    MemFree(shown);
    SetLastError(error);
    ErrorBox(kLackingLetterMessage, badLine, name, key, GetACP(), LastErrorText());
    return NULL;
}

bool ReadSetupScript()
{
    char sourcePath[MAX_PATH];
    char copyPath[MAX_PATH];
    DWORD size = 0, length = 0;
    char *text = NULL;
    const char *folder = NULL;
    bool ok = false;
    if (!JoinPath(sourcePath, Run.SourceDir, "setup.ini", kCannotOpenFile))
        return false;
    // A program made for one product checks the bytes it read against its binding; started alone
    // from inside the package, it asks for the files to be extracted.
    if (IsBound() && GetFileAttributesA(sourcePath) == INVALID_FILE_ATTRIBUTES) {
        ExtractFilesFirst(sourcePath);
        return false;
    }
    char *bytes = LoadFile(sourcePath, sourcePath, &size);
    if (bytes != NULL && CheckBoundBytes(sourcePath, bytes, size))
        text = ConvertScriptText(bytes, size, sourcePath, &length);
    if (text != NULL)
        folder = WorkFolder();
    // The profile reader opens the file again for every value: it reads the copy that only
    // administrators can change, never a setup.ini that was swapped meanwhile.
    if (folder != NULL && JoinPath(copyPath, folder, "setup.ini", "Cannot create file \"%s\" (%s)") &&
        SaveFile(copyPath, text, length))
        ok = ReadMainSection(copyPath) && ReadFilesSection(copyPath) && ReadLinksSection(copyPath);
    MemFree(text);
    MemFree(bytes);
    return ok;
}
