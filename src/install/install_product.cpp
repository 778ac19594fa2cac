#include "install/install_product.h"
#include "install/copy_files.h"
#include "install/folders.h"
#include "install/upgrade.h"
#include "script/script_reader.h"
#include "script/setup_script.h"
#include "script/variables.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/text.h"
#include "support/tracelog.h"
#include "audio/legacy_driver.h"
#include "audio/pnp_device.h"
#include "audio/preferred_device.h"
#include "system/devices.h"
#include "system/diskflush.h"
#include "system/privileges.h"
#include "system/services.h"
#include "ui/dialogs.h"
#include "uninstall/handover.h"
#include "uninstall/journal_replay.h"
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

bool CheckDeviceKeys()
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

bool CheckServiceKeys()
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

// A step's bool result in the one convention every step follows.
static RunStatus FailedUnless(bool ok)
{
    return ok ? 0 : kStatusFailed;
}

static RunStatus ReadAndCheckScript()
{
    return FailedUnless(ReadSetupScript() && CheckDeviceKeys() && CheckServiceKeys());
}

bool NeedsAdminRights()
{
    return Run.IsNT && (DeviceMask() != kNoDevice || IsPresent(Script.ServiceName) || WantsUninstallEntry());
}

static RunStatus AskForAdminRights()
{
    RequireAdminRights();
    return 0;
}

static RunStatus AppendOwnEntriesStep()
{
    AppendOwnEntries();
    return 0;
}

static bool AdminRightsRequired()
{
    return Run.AdminRightsRequired;
}

// Without the rights the run ends quietly: the user has been told.
static RunStatus CheckAdminRightsStep()
{
    if (!CheckAdminRights())
        Run.UserQuit = true;
    return 0;
}

static RunStatus AskToInstall()
{
    bool allowed = MsgBox(MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2, IDYES,
                          "%s %s will be installed on your computer.\nDo you want to continue?",
                          Script.AppName, Script.AppVersion) == IDYES;
    LogLine(kLogAction, "Installation %s", allowed ? "allowed" : "rejected");
    if (!allowed)
        Run.UserQuit = true;
    return 0;
}

static bool HasLicenseFile()
{
    return Script.LicenseFile != NULL;
}

// A dialog the user left ends the run quietly; one that failed fails it.
static RunStatus DialogResult(bool confirmed)
{
    return FailedUnless(confirmed || Run.UserQuit);
}

// A silent installation is the administrator's acceptance of the license.
static RunStatus ShowLicense()
{
    if (Run.Silent) {
        LogLine(kLogAction, "License agreement accepted by the silent installation");
        return 0;
    }
    return DialogResult(ShowLicenseDialog());
}

// An earlier version is looked for before the dialog, by its entry in the list of installed
// programs: the dialog then proposes its folder and says that it will be removed.
static RunStatus LookForEarlierVersion()
{
    FindEarlierVersion(NULL);
    return 0;
}

// What a user who takes the proposal has: the folder -d names, else the one the dialog proposes
// (an earlier version's, or DefaultInstallDir), and DefaultProgramGroup; never an advanced user.
static bool TakeProposedOptions()
{
    char folder[MAX_PATH], group[MAX_PATH];
    const char *proposed = Run.InstallDir != NULL ? Run.InstallDir
                         : EarlierVersionFolder() != NULL ? EarlierVersionFolder() : Script.DefaultInstallDir;
    if (!ExpandVariables(folder, proposed, "Cannot show the folder \"%s\" (%s)") ||
        !ExpandVariables(group, Script.DefaultProgramGroup, "Cannot show the folder \"%s\" (%s)"))
        return false;
    MemFree(Run.InstallDir);
    Run.InstallDir = StrDup(folder);
    Run.ProgramGroup = StrDup(group);
    Run.AdvancedUser = false;
    return true;
}

static RunStatus ShowInstallOptions()
{
    if (Run.Silent ? !TakeProposedOptions() : !ShowInstallOptionsDialog(EarlierVersionNotice(), EarlierVersionFolder()))
        return DialogResult(false);
    LogLine(kLogSetting, "Actual install dir is \"%s\"", Run.InstallDir);
    LogLine(kLogSetting, "Actual program group is \"%s\"", Run.ProgramGroup);
    LogLine(kLogSetting, "The user is %s", Run.AdvancedUser ? "advanced" : "normal");
    return 0;
}

static const char kReplaceQuestion[] =
    "%s \"%s\" is already registered in the system. If you forgot to uninstall a previous version, please "
    "click Cancel to exit Setup and uninstall it as described in the manual.\n\nIf you have installed a "
    "previous version via New Hardware Wizard and have uninstalled it via Control Panel too, there may rest "
    "some traces of a previous version. Windows 2k/XP, due to its bugs,  sometimes cannot delete legacy "
    "devices properly.\n\nIf you have PROPERLY uninstalled a previous version and restarted Windows after "
    "it, click OK to remove old device traces and install the new device.";

bool ConfirmReplace(const char *kind, const char *name)
{
    bool replace = MsgBox(MB_ICONEXCLAMATION | MB_OKCANCEL, IDCANCEL, kReplaceQuestion, kind, name) == IDOK;
    LogLine(kLogAction, "Replace %sabled", replace ? "en" : "dis");
    return replace;
}

// Something of the product is there already: a normal user is refused, an advanced user may
// have it removed first.
static bool MayReplace(const char *kind, const char *name)
{
    if (!Run.AdvancedUser) {
        ErrorBox("%s \"%s\" is already present", kind, name);
        return false;
    }
    return ConfirmReplace(kind, name);
}

static bool HasRegisteredDriver()
{
    return Run.IsNT && IsPresent(Script.MmeDriverModule) && IsLegacyAudioDriverRegistered(Script.MmeDriverModule);
}

static RunStatus ReplaceRegisteredDriver()
{
    if (!MayReplace("Device", Script.DeviceName))
        return kStatusFailed;
    return RemoveLegacyAudioDriver(Script.MmeDriverModule);
}

static char presentDevice[MAX_PATH];   // the instance id of a device found present

static bool HasPresentDevice()
{
    return Run.IsNT && IsPresent(Script.DeviceHardwareId) && FindPresentDevice(Script.DeviceHardwareId, presentDevice);
}

static RunStatus ReplacePresentDevice()
{
    if (!MayReplace("Device", Script.DeviceName))
        return kStatusFailed;
    return RemoveDevice(presentDevice);
}

static bool HasEarlierService()
{
    return IsPresent(Script.ServiceName) && ServiceExists(Script.ServiceName);
}

static RunStatus ReplaceEarlierService()
{
    if (!MayReplace("Service", Script.ServiceName))
        return kStatusFailed;
    return ServiceStopAndDelete(Script.ServiceName);
}

static RunStatus StartJournal()
{
    return FailedUnless(JournalAppendLine(kJournalHeader) &&
                        JournalAddEvent(kEventAppName, "\"%s\"", Script.AppName) &&
                        (!Run.AdminRightsRequired || JournalAddEvent(kEventAdmRightsRequired, NULL)));
}

// In an upgrade the earlier version's folder may still hold the user's own files: taken as it is.
static RunStatus MakeInstallFolder()
{
    return MakeFolder(Run.InstallDir, IsEarlierVersionFolder(Run.InstallDir));
}

// Now also in the folder the user chose, once an uninstallation that still removes its last
// files there has ended.
static bool HasEarlierVersion()
{
    WaitForFolderRelease(Run.InstallDir);
    return FindEarlierVersion(Run.InstallDir);
}

static RunStatus SaveJournalStep()
{
    return FailedUnless(SaveJournal());
}

// uninst.ini in the installation folder; from its first save on it follows every record.
static RunStatus StartSavingJournal()
{
    char path[MAX_PATH];
    if (!JoinPath(path, Run.InstallDir, kJournalFileName, "Cannot create file \"%s\" (%s)"))
        return kStatusFailed;
    JournalSetFile(path);
    return SaveJournalStep();
}

static bool HasService()
{
    return IsPresent(Script.ServiceName);
}

// The disks are current before a driver starts or loads, as the journal on disk is. The image may
// lie in the installation folder: its variables are expanded now.
static RunStatus InstallService()
{
    char image[MAX_PATH];
    if (!ExpandVariables(image, Script.ServiceImage)) {
        ErrorBox(kKeyTooLongMessage, "ServiceImage", LastErrorText());
        return kStatusFailed;
    }
    FlushFixedDisks();
    return FailedUnless(ServiceInstall(Script.ServiceName, Script.AppName, image, serviceType, serviceStartup));
}

static bool HasDevice()
{
    return IsPresent(Script.DeviceName);
}

// The preferred wave devices are recorded before the new device can take their place.
static RunStatus InstallDevice()
{
    RunStatus status;
    StatusInit(&status);
    SetPreferredDeviceExplicitly();
    if (IsPresent(Script.WdmDriverInfFile) && StatusIsFailed(StatusMerge(&status, InstallWdmDevice())))
        return status;
    return StatusMerge(&status, FailedUnless(!IsPresent(Script.MmeDriverModule) || InstallLegacyAudioDriver()));
}

static RunStatus RegisterUninstaller()
{
    return FailedUnless(RegisterUninstallEntry());
}

struct InstallStep {
    bool (*condition)();   // null: always
    RunStatus (*run)();
};

// Nothing is recorded before StartJournal, so a run that ends before it leaves nothing to undo.
// The journal on disk is current before the files are copied and before a driver starts or loads.
static const InstallStep kInstallSteps[] = {
    { NULL, ReadAndCheckScript },
    { NeedsAdminRights, AskForAdminRights },
    { NULL, AppendOwnEntriesStep },
    { AdminRightsRequired, CheckAdminRightsStep },
    { NULL, AskToInstall },
    { HasLicenseFile, ShowLicense },
    { NULL, LookForEarlierVersion },
    { NULL, ShowInstallOptions },
    { HasEarlierVersion, RemoveEarlierVersion },
    { HasRegisteredDriver, ReplaceRegisteredDriver },
    { HasPresentDevice, ReplacePresentDevice },
    { HasEarlierService, ReplaceEarlierService },
    { NULL, StartJournal },
    { NULL, MakeInstallFolder },
    { NULL, StartSavingJournal },
    { NULL, CreateLinks },
    { NULL, SaveJournalStep },
    { NULL, CopyFiles },
    { HasService, SaveJournalStep },
    { HasService, InstallService },
    { HasDevice, SaveJournalStep },
    { HasDevice, InstallDevice },
    { WantsUninstallEntry, RegisterUninstaller },
    { NULL, SaveJournalStep },
    { NULL, NULL },
};

RunStatus InstallProduct()
{
    RunStatus status;
    StatusInit(&status);
    for (const InstallStep *step = kInstallSteps; step->run != NULL; step++) {
        if (step->condition != NULL && !step->condition())
            continue;
        if (StatusIsFailed(StatusMerge(&status, step->run())) || Run.UserQuit)
            break;
    }
    if (StatusIsFailed(status)) {
        // Undo what was recorded, as the two uninstaller processes would; an empty journal
        // undoes nothing.
        StatusMerge(&status, ReplayInPhases(JournalText(), false));
        JournalClear();
    }
    return status;
}
