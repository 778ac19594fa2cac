#include "audio/legacy_driver.h"
#include "audio/winmm_binding.h"
#include "script/setup_script.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/text.h"
#include "support/tracelog.h"
#include "system/devices.h"
#include "system/diskflush.h"
#include "system/journal_recorder.h"
#include "ui/progress.h"

struct MmeCategory {
    const char *name;
    BYTE bit;
};

static const MmeCategory kMmeCategoryTable[] = {
    { "wave", kCategoryWave },
    { "mixer", kCategoryMixer },
    { NULL, 0 },
};

static const DriverKey kDriverKeyTable[kDriverKeyCount] = {
    { { NULL, NULL }, "Drivers32", false },
    { { NULL, NULL }, "Userinstallable.drivers", false },
    { { NULL, NULL }, "drivers.desc", false },
    { { NULL, NULL }, "Drivers32\\Terminal Server\\RDP", true },
};

// The keys a category entry is written to, in this order.
static const DriverKeyIndex kCategoryKeys[] = { kDrivers32, kUserInstallable, kRdpDrivers };
const int kCategoryKeyCount = 3;

static const char kDriversRoot[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\";
static const char kWdmAudio[] = "wdmaud.drv";
const UINT kLastEntryNumber = 9;
const DWORD kEnumerationLimit = 100000;

void DriverKeySetInit(DriverKeySet *set)
{
    for (int i = 0; i < kDriverKeyCount; i++) {
        set->keys[i] = kDriverKeyTable[i];
        RegKeyInit(&set->keys[i].key);
    }
}

void DriverKeySetRelease(DriverKeySet *set)
{
    for (int i = kDriverKeyCount - 1; i >= 0; i--)
        RegKeyRelease(&set->keys[i].key);
}

// Only what the operations need: reading, enumerating, setting and deleting values. A required key
// that a system lacks (Userinstallable.drivers, drivers.desc) is created as Windows would have it,
// and stays; a missing optional one is silent and leaves ERROR_FILE_NOT_FOUND as the last error.
bool DriverKeyOpen(DriverKey *key)
{
    const REGSAM kValueAccess = KEY_QUERY_VALUE | KEY_SET_VALUE;
    if (RegKeyHandle(&key->key) != NULL)
        return true;
    char path[MAX_PATH];
    wsprintfA(path, "%s%s", kDriversRoot, key->shortName);
    if (key->optional)
        return RegKeyOpen(&key->key, HKEY_LOCAL_MACHINE, path, kValueAccess, false);
    return RegKeyOpen(&key->key, HKEY_LOCAL_MACHINE, path, kValueAccess, false) ||
           (GetLastError() == ERROR_FILE_NOT_FOUND && RegKeyCreate(&key->key, HKEY_LOCAL_MACHINE, path, kValueAccess));
}

BYTE ParseMmeCategories(const char *text)
{
    if (StrFindChar(text, ' ') != NULL) {
        ErrorBox("Space in the \"%s\" is not allowed", text);
        return 0;
    }
    BYTE set = 0;
    for (const char *position = text; *position != '\0';) {
        const char *comma = StrFindChar(position, ',');
        UINT length = comma != NULL ? (UINT)(comma - position) : (UINT)lstrlenA(position);
        char token[kCategoryTokenSize];
        StrCopyCut(token, position, (length < kCategoryTokenSize ? length : kCategoryTokenSize - 1) + 1);
        const MmeCategory *category = kMmeCategoryTable;
        while (category->name != NULL && (length >= kCategoryTokenSize || lstrcmpiA(category->name, token) != 0))
            category++;
        if (category->name == NULL) {
            ErrorBox("Invalid device type \"%s\"", token);
            return 0;
        }
        set |= category->bit;
        position = comma != NULL ? comma + 1 : position + length;
    }
    if (set == 0)
        ErrorBox("No device type specified");
    return set;
}

bool FindFreeDriverEntry(DriverKey *key, const char *category, char *entryName)
{
    if (!DriverKeyOpen(key))
        return false;
    LogLine(kLogValue, "Exploring \"%s\" values in %s", category, key->shortName);
    UINT firstDuplicate = 0, lastDuplicate = 0;
    for (UINT n = 1; n <= kLastEntryNumber; n++) {
        char data[MAX_PATH];
        wsprintfA(entryName, "%s%u", category, n);
        if (RegKeyQueryString(&key->key, entryName, data, false) && data[0] != '\0') {
            if (lstrcmpiA(data, kWdmAudio) == 0) {
                if (firstDuplicate == 0)
                    firstDuplicate = n;
                else
                    lastDuplicate = n;
            }
        } else if (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_SUCCESS) {
            LogLine(kLogValue, "Found free entry %s in %s", entryName, key->shortName);
            return true;
        }
    }
    // wdmaud.drv registered twice or more: its highest entry takes the module.
    if (lastDuplicate == 0)
        return false;
    wsprintfA(entryName, "%s%u", category, lastDuplicate);
    LogLine(kLogValue, "Found duplicate %s entry %s in %s", kWdmAudio, entryName, key->shortName);
    return true;
}

bool FindDriverEntryByModule(DriverKey *key, const char *category, const char *module, char *valueName)
{
    if (!DriverKeyOpen(key))
        return false;
    LogLine(kLogValue, "Enumerating values in %s", key->shortName);
    int categoryLength = lstrlenA(category);
    for (DWORD index = 0; index < kEnumerationLimit; index++) {
        char data[MAX_PATH];
        if (!RegKeyEnumValue(&key->key, index, valueName, data))
            return false;
        if (valueName[0] != '\0' && StrPrefixCompare(valueName, category, categoryLength) == 0 && lstrcmpiA(data, module) == 0)
            return true;
    }
    return false;
}

// The system folder and the module name taken as OEM text, in wide characters; false with the
// cause as the last error.
static bool DriverModulePath(const char *module, WCHAR *path)
{
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0)
        return false;
    if (length + 1 + (UINT)lstrlenA(module) >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    path[length] = L'\\';
    return OemToCharW(module, path + length + 1) != FALSE;
}

bool SendDriverModuleMessage(const char *module, UINT message, LPARAM parameter1, LPARAM parameter2)
{
    bool ok = false;
    WCHAR path[MAX_PATH];
    HDRVR driver = NULL;
    if (!LoadWinmm())
        return false;
    if (!DriverModulePath(module, path)) {
        ErrorBox("Cannot open driver module %s (%s)", module, LastErrorText());
        goto done;
    }
    LogLine(kLogDriverCall, "Opening driver module %S", path);
    driver = Winmm.OpenDriver(path, NULL, 0);
    if (driver == NULL) {
        ErrorBox("Cannot open driver module %S", path);
        goto done;
    }
    LogLine(kLogDriverCall, "Sending message to driver: %X, %I64X, %I64X", message, (ULONGLONG)parameter1, (ULONGLONG)parameter2);
    {
        LRESULT answer = Winmm.SendDriverMessage(driver, message, parameter1, parameter2);
        ok = answer == DRVCNF_OK;
        if (!ok)
            ErrorBox("Driver failed processing message 0x%X (code 0x%X)", message, (DWORD)answer);
    }
done:
    if (driver != NULL) {
        LogLine(kLogDriverCall, "Closing driver module");
        Winmm.CloseDriver(driver, 0, 0);
    }
    UnloadWinmm();
    return ok;
}

// The entries a registration wrote, so that a failure can take them back.
struct WrittenEntries {
    char *names[2][kCategoryKeyCount];   // category x key, heap copies
    bool descriptionWritten;
};

static void TakeBackEntries(DriverKeySet *set, WrittenEntries *written, const char *module)
{
    if (written->descriptionWritten)
        RegKeyDeleteValue(&set->keys[kDriversDesc].key, module);
    for (int category = 0; category < 2; category++) {
        for (int k = 0; k < kCategoryKeyCount; k++) {
            if (written->names[category][k] == NULL)
                continue;
            RegKeyDeleteValue(&set->keys[kCategoryKeys[k]].key, written->names[category][k]);
            MemFree(written->names[category][k]);
            written->names[category][k] = NULL;
        }
    }
}

static bool WriteCategoryEntries(DriverKeySet *set, WrittenEntries *written, const char *module, BYTE categories)
{
    for (int category = 0; kMmeCategoryTable[category].name != NULL; category++) {
        const char *name = kMmeCategoryTable[category].name;
        if ((categories & kMmeCategoryTable[category].bit) == 0)
            continue;
        for (int k = 0; k < kCategoryKeyCount; k++) {
            DriverKey *key = &set->keys[kCategoryKeys[k]];
            char entry[MAX_PATH];
            if (FindFreeDriverEntry(key, name, entry)) {
                if (!RegKeySetString(&key->key, entry, module))
                    return false;
                written->names[category][k] = StrDup(entry);
            } else if (!(key->optional && GetLastError() == ERROR_FILE_NOT_FOUND)) {
                ErrorBox("Cannot find free %s entry in %s\nMaybe there are too many %s devices in your system.\n"
                         "Windows supports only 10 different legacy audio drivers.\nIf you have many audio devices "
                         "installed, try to uninstall some.", name, key->shortName, name);
                return false;
            }
        }
    }
    return true;
}

bool RegisterDriverModule(const char *description, const char *module, const char *categories)
{
    DriverKeySet set;
    WrittenEntries written;
    ZeroMemory(&written, sizeof written);
    LogLine(kLogAction, "Installing driver module %s for \"%s\" (%s)", module, description, categories);
    DriverKeySetInit(&set);
    BYTE categorySet = ParseMmeCategories(categories);
    bool ok = categorySet != 0 && WriteCategoryEntries(&set, &written, module, categorySet) &&
              DriverKeyOpen(&set.keys[kDriversDesc]) && RegKeySetString(&set.keys[kDriversDesc].key, module, description);
    written.descriptionWritten = ok;
    if (ok) {
        FlushFixedDisks();
        ok = SendDriverModuleMessage(module, DRV_INSTALL, kInstallMessageParameter, 0);
    }
    if (ok) {
        for (int category = 0; category < 2; category++)
            for (int k = 0; k < kCategoryKeyCount; k++)
                MemFree(written.names[category][k]);
    } else {
        TakeBackEntries(&set, &written, module);
    }
    DriverKeySetRelease(&set);
    return ok;
}

bool UnregisterDriverModule(DriverKeySet *set, const char *module, BYTE categories)
{
    LogLine(kLogAction, "Unregistering driver module %s", module);
    bool ok = DriverKeyOpen(&set->keys[kDriversDesc]) && RegKeyDeleteValue(&set->keys[kDriversDesc].key, module);
    for (const MmeCategory *category = kMmeCategoryTable; category->name != NULL; category++) {
        if ((categories & category->bit) == 0)
            continue;
        for (int k = 0; k < kCategoryKeyCount; k++) {
            DriverKey *key = &set->keys[kCategoryKeys[k]];
            char name[MAX_PATH];
            // Once a deletion failed, matches are still looked for, but no longer deleted.
            if (FindDriverEntryByModule(key, category->name, module, name) && ok)
                ok = RegKeyDeleteValue(&key->key, name);
        }
    }
    return ok;
}

bool InstallLegacyAudioDriver()
{
    char text[kMaxFormattedText];
    wsprintfA(text, "Installing %s device driver...", Script.DeviceName);
    ShowProgress(true, text);
    bool ok = RegisterDriverModule(Script.DeviceName, Script.MmeDriverModule, Script.MmeDriverCategories) &&
              JournalAddEvent(kEventInstallMmeDriver, "\"%s\"", Script.MmeDriverModule);
    ShowProgress(false, NULL);
    return ok;
}

// The description the module was registered with; false when drivers.desc does not name it.
static bool FindDriverDescription(DriverKeySet *set, const char *module, char *description)
{
    description[0] = '\0';
    return DriverKeyOpen(&set->keys[kDriversDesc]) &&
           RegKeyQueryString(&set->keys[kDriversDesc].key, module, description, false);
}

bool IsLegacyAudioDriverRegistered(const char *module)
{
    DriverKeySet set;
    char description[MAX_PATH];
    DriverKeySetInit(&set);
    bool registered = FindDriverDescription(&set, module, description);
    DriverKeySetRelease(&set);
    return registered;
}

RunStatus RemoveLegacyAudioDriver(const char *module)
{
    RunStatus status;
    StatusInit(&status);
    char text[kMaxFormattedText];
    char description[MAX_PATH];
    DriverKeySet set;
    wsprintfA(text, "Removing device driver for %s...", module);
    ShowProgress(true, text);
    DriverKeySetInit(&set);
    if (!FindDriverDescription(&set, module, description)) {
        WarningBox("Device module \"%s\" not found", module);
        StatusSetWarning(&status);
    } else {
        // Each step runs even when one before it failed.
        if (!SendDriverModuleMessage(module, DRV_REMOVE, kRemoveMessageParameter, 0))
            StatusSetWarning(&status);
        if (!UnregisterDriverModule(&set, module, kAllCategories))
            StatusSetWarning(&status);
        RemoveLegacyDevice(description);
    }
    DriverKeySetRelease(&set);
    ShowProgress(false, NULL);
    return status;
}
