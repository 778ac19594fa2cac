#include "install/install_product.h"
#include "install/file_ops.h"
#include "install/folders.h"
#include "script/script_reader.h"
#include "script/setup_script.h"
#include "shell/msgbox.h"
#include "shell/tracelog.h"
#include "support/memory.h"
#include "support/text.h"
#include "system/privileges.h"
#include "ui/dialogs.h"
#include "uninstall/journal.h"
#include "uninstall/uninstall_entry.h"

struct DeviceKey {
    char **value;
    DWORD bit;
};

static const DeviceKey kDeviceKeys[] = {
    { &Script.DeviceName, 1 },
    { &Script.DeviceHardwareId, 2 },
    { &Script.WdmDriverInfFile, 4 },
    { &Script.MmeDriverModule, 8 },
    { &Script.MmeDriverCategories, 16 },
    { NULL, 0 },
};

const DWORD kNoDevice = 0;
const DWORD kWdmDevice = 7;
const DWORD kLegacyDriver = 25;

// The parsed service numbers, for the service installation.
static DWORD serviceType;
static DWORD serviceStartup;

static bool IsPresent(const char *value)
{
    return value != NULL && value[0] != '\0';
}

static bool WantsUninstallEntry()
{
    return Script.RegisterUninstaller != NULL && lstrcmpA(Script.RegisterUninstaller, "1") == 0;
}

static DWORD DeviceMask()
{
    DWORD mask = 0;
    for (const DeviceKey *key = kDeviceKeys; key->value != NULL; key++) {
        if (IsPresent(*key->value))
            mask |= key->bit;
    }
    return mask;
}

static bool CheckDeviceKeys()
{
    DWORD mask = DeviceMask();
    if (mask == kNoDevice || mask == kWdmDevice || (mask == kLegacyDriver && Run.IsNT))
        return true;
    ErrorBox("Device description keys mismatch");
    return false;
}

// A decimal number at the start of the text; characters after the digits are ignored.
static bool ParseServiceNumber(const char *text, DWORD *value)
{
    const char *end;
    *value = ParseNumber(text, &end, 10);
    return end != text;
}

static bool CheckServiceKeys()
{
    char *const keys[] = { Script.ServiceName, Script.ServiceImage, Script.ServiceType, Script.ServiceStartup };
    int present = 0;
    for (char *key : keys)
        present += IsPresent(key) ? 1 : 0;
    if (present == 0)
        return true;
    if (!Run.IsNT) {
        ErrorBox("Services are supported under NT systems only");
        return false;
    }
    if (present != 4) {
        ErrorBox("Service description is incomplete");
        return false;
    }
    if (!ParseServiceNumber(Script.ServiceType, &serviceType) || serviceType == 0) {
        ErrorBox("Invalid service type %s", Script.ServiceType);
        return false;
    }
    if (!ParseServiceNumber(Script.ServiceStartup, &serviceStartup)) {
        ErrorBox("Invalid service startup %s", Script.ServiceStartup);
        return false;
    }
    return true;
}

// The setup program goes into the product's folder last, and so does its shortcut.
static void AppendOwnEntries()
{
    char target[MAX_PATH + 32];   // the module name has at most MAX_PATH - 1 characters
    wsprintfA(target, "%%InstallDir%%\\%s", Run.ExeModuleName);
    AddScriptEntry(Script.FileList, &Script.FileCount, Run.ExeModuleName, "%InstallDir%", Run.ExeModuleDir);
    AddScriptEntry(Script.LinkList, &Script.LinkCount, "Uninstall %AppName%", target, "-u");
}

static bool AskToInstall()
{
    bool allowed = MsgBox(MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2,
                          "%s %s will be installed on your computer.\nDo you want to continue?",
                          Script.AppName, Script.AppVersion) == IDYES;
    LogLine(7, "Installation %s", allowed ? "allowed" : "rejected");
    return allowed;
}

// Everything before the first change to the system: false ends the installation, with the
// failed bit set unless the user chose to leave.
static bool PrepareInstallation(RunStatus *status)
{
    if (!ReadSetupScript() || !CheckDeviceKeys() || !CheckServiceKeys()) {
        StatusSetFailed(status);
        return false;
    }
    if (Run.IsNT && (DeviceMask() != kNoDevice || IsPresent(Script.ServiceName) || WantsUninstallEntry()))
        RequireAdminRights();
    AppendOwnEntries();
    if (Run.AdminRightsRequired && !CheckAdminRights()) {
        Run.UserQuit = true;
        return false;
    }
    if (!AskToInstall()) {
        Run.UserQuit = true;
        return false;
    }
    if ((Script.LicenseFile != NULL && !ShowLicenseDialog()) || !ShowInstallOptionsDialog()) {
        if (!Run.UserQuit)
            StatusSetFailed(status);
        return false;
    }
    LogLine(6, "Actual install dir is \"%s\"", Run.InstallDir);
    LogLine(6, "Actual program group is \"%s\"", Run.ProgramGroup);
    LogLine(6, "The user is %s", Run.AdvancedUser ? "advanced" : "normal");
    return true;
}

static bool StartJournal()
{
    return JournalAppendLine(kJournalHeader) &&
           JournalAddEvent(kEventAppName, "\"%s\"", Script.AppName) &&
           (!Run.AdminRightsRequired || JournalAddEvent(kEventAdmRightsRequired, NULL));
}

// The changes, each recorded as it is made; stops at the first failure.
static void PerformInstallation(RunStatus *status)
{
    if (!StartJournal()) {
        StatusSetFailed(status);
        return;
    }
    if (StatusIsFailed(StatusMerge(status, MakeFolder(Run.InstallDir))))
        return;
    if (!SaveJournal()) {
        StatusSetFailed(status);
        return;
    }
    if (StatusIsFailed(StatusMerge(status, CreateLinks())))
        return;
    if (!SaveJournal()) {
        StatusSetFailed(status);
        return;
    }
    if (StatusIsFailed(StatusMerge(status, CopyFiles())))
        return;
    if ((WantsUninstallEntry() && !RegisterUninstallEntry()) || !SaveJournal())
        StatusSetFailed(status);
}

RunStatus InstallProduct()
{
    RunStatus status;
    StatusInit(&status);
    if (PrepareInstallation(&status))
        PerformInstallation(&status);
    if (StatusIsFailed(status)) {
        // Undo what was recorded, newest first; an empty journal undoes nothing.
        StatusMerge(&status, ReplayJournal(Journal.text, kAllEvents));
        Journal.length = 0;
    }
    return status;
}
