#include "audio/pnp_device.h"
#include "audio/driver_files.h"
#include "audio/preferred_device.h"
#include "script/setup_script.h"
#include "script/variables.h"
#include "support/errortext.h"
#include "support/guid.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/text.h"
#include "support/tracelog.h"
#include "system/devices.h"
#include "system/diskflush.h"
#include "system/file_ops.h"
#include "system/journal_recorder.h"
#include "system/library.h"
#include "system/setupapi_binding.h"
#include "ui/progress.h"
#include <newdev.h>

const DWORD kOwnInstallerFlags = DI_ENUMSINGLEINF | DI_INSTALLDISABLED | DI_NOFILECOPY | DI_QUIETINSTALL;
const DWORD kRestartFlags = DI_NEEDRESTART | DI_NEEDREBOOT;
static const char kNewdev[] = "newdev.dll";
static const char kUpdateDriver[] = "UpdateDriverForPlugAndPlayDevicesA";

// A setup API call failed: its code in the HRESULT form that has a message.
static bool SetupApiFailed(const char *format, const char *argument = NULL)
{
    SetupApiErrorToHresult();
    if (argument != NULL)
        ErrorBox(format, argument, LastErrorText());
    else
        ErrorBox(format, LastErrorText());
    return false;
}

bool UsesOwnInstaller()
{
    return !Run.IsNT || (Run.OsVersion.dwMajorVersion <= 5 && IsKernelStreamingPresent());
}

// The id, its terminating zero and the empty string that ends the list.
static bool SetHardwareId(HDEVINFO list, SP_DEVINFO_DATA *element, const char *hardwareId)
{
    DWORD size = (DWORD)lstrlenA(hardwareId) + 2;
    char *value = (char *)MemAlloc(size);
    lstrcpyA(value, hardwareId);
    bool ok = SetupApi.SetDeviceRegistryProperty(list, element, SPDRP_HARDWAREID, (const BYTE *)value, size) ||
              SetupApiFailed("Cannot set HARDWAREID property (%s)");
    MemFree(value);
    return ok;
}

static bool InstallSelectedDriver(HDEVINFO list, SP_DEVINFO_DATA *element, const char *inf)
{
    if (!SetDriverPathAndFlags(list, element, inf) || !SelectBestDriver(list, element))
        return false;
    LogLine(kLogAction, "Executing INSTALL command");
    if (!SetupApi.CallClassInstaller(DIF_INSTALLDEVICE, list, element))
        return SetupApiFailed("Cannot install device driver (%s)");
    LogLine(kLogAction, "Device and driver are installed successfully");
    return true;
}

// Registers the device and records it; with the own installer its driver is installed, disabled,
// with the standard one it is only disabled. A device that was made and then failed goes again.
bool CreateRootDevice(HDEVINFO *list, SP_DEVINFO_DATA *element, const char *description, const char *hardwareId,
                      const char *inf, char *instanceId, bool ownInstaller)
{
    GUID classGuid;
    char className[MAX_PATH];
    bool created = false;
    bool ok = false;
    LogLine(kLogAction, "Installing device \"%s\" from \"%s\"", hardwareId, inf);
    if (!SetupApi.GetINFClass(inf, &classGuid, className, MAX_PATH, NULL))
        return SetupApiFailed("Cannot get class for \"%s\" (%s)", inf);
    *list = SetupApi.CreateDeviceInfoList(&classGuid, NULL);
    if (*list == INVALID_HANDLE_VALUE) {
        *list = 0;
        return SetupApiFailed("Cannot create device info list (%s)");
    }
    ZeroMemory(element, sizeof *element);
    element->cbSize = sizeof *element;
    if (!SetupApi.CreateDeviceInfo(*list, className, &classGuid, description, NULL, DICD_GENERATE_ID, element)) {
        SetupApiFailed("Cannot create device info (%s)");
        goto done;
    }
    created = true;
    if (!SetHardwareId(*list, element, hardwareId))
        goto done;
    if (!SetupApi.CallClassInstaller(DIF_REGISTERDEVICE, *list, element)) {
        SetupApiFailed("Cannot register device (%s)");
        goto done;
    }
    if (!GetDeviceInstanceId(*list, element, instanceId)) {
        ErrorBox("Cannot get instace id (%s)", LastErrorText());
        goto done;
    }
    LogLine(kLogAction, "Device instance id: \"%s\"", instanceId);
    if (!JournalAddEvent(kEventInstallDevice, "\"%s\"", instanceId))
        goto done;
    ok = ownInstaller ? InstallSelectedDriver(*list, element, inf) : SetDeviceEnabled(*list, element, false);
done:
    if (!ok && created)
        RemoveDeviceNode(*list, element);
    return ok;
}

bool CopyInfToWindows(const char *sourceInf, char *copiedInf)
{
    char guidText[kGuidTextSize];
    char name[kGuidTextSize + 8];
    if (!NewGuidText(guidText)) {
        ErrorBox("Cannot create a GUID for inf file (%s)", LastErrorText());
        return false;
    }
    wsprintfA(name, "inf\\%s.inf", guidText);
    if (!JoinPath(copiedInf, SystemFolders.WindowsDir, name, "Cannot create \"%s\" (%s)"))
        return false;
    if (!CopyOneFile(sourceInf, copiedInf, true))
        return false;
    LogLine(kLogAction, "INF file copied to \"%s\"", copiedInf);
    return RecordInfFiles(copiedInf);
}

// The INF and the precompiled twin Windows makes beside it.
bool RecordInfFiles(const char *inf)
{
    if (!JournalAddEvent(kEventCreateFile, "\"%s\"", inf))
        return false;
    if (!EndsWithText(inf, "inf"))
        return true;
    int length = lstrlenA(inf);
    char pnf[MAX_PATH];
    lstrcpynA(pnf, inf, MAX_PATH);
    lstrcpyA(pnf + length - 3, "pnf");
    return JournalAddEvent(kEventCreateFile, "\"%s\"", pnf);
}

bool SetDriverPathAndFlags(HDEVINFO list, SP_DEVINFO_DATA *element, const char *inf)
{
    SP_DEVINSTALL_PARAMS_A parameters;
    ZeroMemory(&parameters, sizeof parameters);
    parameters.cbSize = sizeof parameters;
    if (!SetupApi.GetDeviceInstallParams(list, element, &parameters))
        return SetupApiFailed("Cannot get install params (%s)");
    lstrcpynA(parameters.DriverPath, inf, MAX_PATH);
    parameters.Flags |= kOwnInstallerFlags;
    if (!SetupApi.SetDeviceInstallParams(list, element, &parameters))
        return SetupApiFailed("Cannot set driver path and flags (%s)");
    return true;
}

bool SelectBestDriver(HDEVINFO list, SP_DEVINFO_DATA *element)
{
    if (!SetupApi.BuildDriverInfoList(list, element, SPDIT_COMPATDRIVER))
        return SetupApiFailed("Cannot build compatible driver list (%s)");
    if (!SetupApi.CallClassInstaller(DIF_SELECTBESTCOMPATDRV, list, element))
        return SetupApiFailed("Cannot select best compatible driver (%s)");
    return true;
}

bool InstallDeviceInterfaces(HDEVINFO list, SP_DEVINFO_DATA *element, const char *inf)
{
    LogLine(kLogAction, "Installing device interfaces...");
    if (!Run.IsNT && (!SetDriverPathAndFlags(list, element, inf) || !SelectBestDriver(list, element)))
        return false;
    LogLine(kLogAction, "Installing interfaces");
    if (!SetupApi.CallClassInstaller(DIF_INSTALLINTERFACES, list, element))
        return SetupApiFailed("Cannot install interfaces (%s)");
    return true;
}

bool UpdateDriverThroughSystem(HWND window, const char *hardwareId, const char *inf, bool *restartNeeded)
{
    bool ok = false;
    HMODULE newdev = LibraryLoad(kNewdev);
    if (newdev == NULL)
        return false;
    decltype(&UpdateDriverForPlugAndPlayDevicesA) update =
        (decltype(&UpdateDriverForPlugAndPlayDevicesA))GetProcAddress(newdev, kUpdateDriver);
    if (update == NULL) {
        ErrorBox("Cannot get address of %s routine", kUpdateDriver);
    } else {
        BOOL reboot = FALSE;
        LogLine(kLogAction, "Calling %s (\"%s\", \"%s\")", kUpdateDriver, hardwareId, inf);
        // Silent, a question Windows would ask fails the call instead of waiting for no one.
        ok = update(Run.Silent ? NULL : window, hardwareId, inf, Run.Silent ? INSTALLFLAG_NONINTERACTIVE : 0, &reboot) != FALSE;
        if (!ok)
            SetupApiFailed("Cannot install device (%s)");
        else
            *restartNeeded = reboot != FALSE;
    }
    LibraryUnload(kNewdev, newdev);
    return ok;
}

bool SetDeviceEnabled(HDEVINFO list, SP_DEVINFO_DATA *element, bool enable)
{
    const char *prefix = enable ? "en" : "dis";
    SP_PROPCHANGE_PARAMS change;
    ZeroMemory(&change, sizeof change);
    change.ClassInstallHeader.cbSize = sizeof change.ClassInstallHeader;
    change.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    change.StateChange = enable ? DICS_ENABLE : DICS_DISABLE;
    change.Scope = DICS_FLAG_GLOBAL;
    LogLine(kLogAction, "%sabling the device", enable ? "En" : "Dis");
    // Cleared first: a refusal that sets no error must not show an earlier call's.
    SetLastError(ERROR_SUCCESS);
    bool ok = SetupApi.SetClassInstallParams(list, element, &change.ClassInstallHeader, sizeof change) ||
              SetupApiFailed("Cannot set class installer params (%s)");
    if (ok && !SetupApi.CallClassInstaller(DIF_PROPERTYCHANGE, list, element)) {
        SetupApiErrorToHresult();
        ErrorBox("Cannot set device state to %X (%s)", change.StateChange, LastErrorText());
        ok = false;
    }
    if (!ok)
        ErrorBox("Cannot %sable device (%s)", prefix, LastErrorText());
    return ok;
}

bool DeviceNeedsRestart(HDEVINFO list, SP_DEVINFO_DATA *element)
{
    SP_DEVINSTALL_PARAMS_A parameters;
    ZeroMemory(&parameters, sizeof parameters);
    parameters.cbSize = sizeof parameters;
    LogLine(kLogAction, "Checking if installation requires reboot");
    if (!SetupApi.GetDeviceInstallParams(list, element, &parameters))
        return SetupApiFailed("Cannot get installation params (%s)");
    return (parameters.Flags & kRestartFlags) != 0;
}

bool QueryDeviceInfPath(HDEVINFO list, SP_DEVINFO_DATA *element, char *output)
{
    output[0] = '\0';
    HKEY key = SetupApi.OpenDevRegKey(list, element, DICS_FLAG_GLOBAL, 0, DIREG_DRV, GENERIC_READ);
    if (key == INVALID_HANDLE_VALUE)
        return SetupApiFailed("Cannot open device driver key (%s)");
    DWORD size = MAX_PATH;
    LONG rc = RegQueryValueExA(key, "InfPath", NULL, NULL, (BYTE *)output, &size);
    SetLastError((DWORD)rc);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        output[0] = '\0';
        ErrorBox("Cannot query %s value (%s)", "InfPath", LastErrorText());
        return false;
    }
    output[size < MAX_PATH ? size : MAX_PATH - 1] = '\0';
    return true;
}

struct DeviceProblem {
    ULONG code;
    const char *meaning;
};

// What the problem codes an installation most often meets tell the user; the last row for the rest.
static const DeviceProblem kDeviceProblems[] = {
    { CM_PROB_FAILED_START, "its driver could not start it" },
    { CM_PROB_FAILED_INSTALL, "no driver is installed for it" },
    { CM_PROB_FAILED_DRIVER_ENTRY, "its driver refused to start" },
    { CM_PROB_DRIVER_FAILED_LOAD, "its driver could not be loaded. On Windows 11 memory integrity (Windows Security, "
                                  "Core isolation) refuses a driver that is not compatible with it: the product's maker must "
                                  "supply one that is; otherwise the driver is missing or damaged" },
    { CM_PROB_DRIVER_BLOCKED, "Windows blocks its driver" },
    { CM_PROB_UNSIGNED_DRIVER, "its driver is not signed as this Windows requires. Windows 10 and 11 load only kernel "
                               "drivers signed by Microsoft (attestation or WHQL), Windows 7 a WHQL-signed package: ask the "
                               "product's maker for a driver signed for this Windows" },
    { 0, "Device Manager tells more" },
};

static const char *DeviceProblemMeaning(ULONG code)
{
    const DeviceProblem *row = kDeviceProblems;
    while (row->code != 0 && row->code != code)
        row++;
    return row->meaning;
}

// Enabled is not started: a device Windows could not start (an unsigned driver, a driver that
// fails) stays installed, and the run ends with warnings that name its problem code; the code
// for a restart sets RestartNeeded instead.
static RunStatus CheckDeviceStarted(HDEVINFO list, SP_DEVINFO_DATA *element)
{
    ULONG state = 0, problem = 0;
    if (!BindSetupApiProcedure((FARPROC *)&SetupApi.GetDevNodeStatus, "CM_Get_DevNode_Status")) {
        LogLine(kLogError, "The device's status is not checked");
        return 0;
    }
    CONFIGRET result = SetupApi.GetDevNodeStatus(&state, &problem, element->DevInst, 0);
    if (result != CR_SUCCESS) {
        LogLine(kLogError, "Cannot get the device's status (configuration manager code %u)", (DWORD)result);
        return 0;
    }
    LogLine(kLogAction, "Device status %X, problem %u", (DWORD)state, (DWORD)problem);
    if ((state & DN_HAS_PROBLEM) == 0)
        return 0;
    if (problem == CM_PROB_NEED_RESTART) {
        Run.RestartNeeded = true;
        return 0;
    }
    WarningBox("Windows cannot start the device \"%s\" (problem code %u: %s).\nThe device stays installed; its "
               "properties in Device Manager show the same code.", Script.DeviceName, (DWORD)problem,
               DeviceProblemMeaning(problem));
    return kStatusWarning;
}

// Windows keeps the INF under a name of its own; a bare name lies in the Windows INF folder, a
// full path stands as it is.
static bool RecordSystemInfCopy(HDEVINFO list, SP_DEVINFO_DATA *element)
{
    char infPath[MAX_PATH], path[MAX_PATH];
    if (!QueryDeviceInfPath(list, element, infPath))
        return true;   // shown; the device is installed all the same
    char folder[MAX_PATH];
    const char failure[] = "Cannot record \"%s\" in the uninstall journal (%s)";
    if (!JoinPath(folder, SystemFolders.WindowsDir, "inf", failure) || !JoinPath(path, folder, infPath, failure))
        return false;
    return RecordInfFiles(path);
}

static bool RecordDeviceService(HDEVINFO list, SP_DEVINFO_DATA *element)
{
    char service[MAX_PATH];
    if (!QueryDeviceService(list, element, service)) {
        LogLine(kLogError, "Cannot get device service name (%s)", LastErrorText());
        return true;
    }
    LogLine(kLogAction, "Device service name: %s", service);
    return JournalAddEvent(kEventInstallService, "\"%s\"", service);
}

// The installation after the check of the INF: both installers, then the service, the enabling,
// the restart question and whether Windows could start the device.
static RunStatus InstallWithInstaller(const char *sourceInf)
{
    bool own = UsesOwnInstaller();
    char copiedInf[MAX_PATH];
    char instanceId[MAX_PATH];
    HDEVINFO list = 0;
    SP_DEVINFO_DATA element;
    RunStatus status = kStatusFailed;
    LogLine(kLogAction, "Using %s installer", own ? "our own" : "standard system");
    if (own && !CopyInfToWindows(sourceInf, copiedInf))
        goto done;
    if (!CreateRootDevice(&list, &element, Script.DeviceName, Script.DeviceHardwareId, own ? copiedInf : sourceInf,
                          instanceId, own))
        goto done;
    if (own && !InstallDeviceInterfaces(list, &element, Run.IsNT ? copiedInf : sourceInf))
        goto done;
    if (!own && (!UpdateDriverThroughSystem(GetDesktopWindow(), Script.DeviceHardwareId, sourceInf, &Run.RestartNeeded) ||
                 !RecordSystemInfCopy(list, &element)))
        goto done;
    if (Run.IsNT && !RecordDeviceService(list, &element))
        goto done;
    FlushFixedDisks();
    if (!SetDeviceEnabled(list, &element, true))
        goto done;
    status = CheckDeviceStarted(list, &element);
    if (!Run.RestartNeeded)
        Run.RestartNeeded = DeviceNeedsRestart(list, &element);
    if (Run.RestartNeeded)
        LogLine(kLogBanner, "Device manager requires restart");
done:
    DestroyDeviceList(&list);
    return status;
}

bool FindSourceInf(char *sourceInf)
{
    static const char kCannotOpen[] = "Cannot open device INF file \"%s\" (%s)";
    if (!JoinPath(sourceInf, Run.SourceDir, Script.WdmDriverInfFile, kCannotOpen))
        return false;
    LogLine(kLogValue, "Checking device INF file \"%s\"", sourceInf);
    HANDLE file = CreateFileA(sourceInf, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        ErrorBox(kCannotOpen, sourceInf, LastErrorText());
        return false;
    }
    CloseHandle(file);
    return true;
}

RunStatus InstallWdmDevice()
{
    char text[kMaxFormattedText];
    char sourceInf[MAX_PATH];
    RunStatus status = kStatusFailed;
    wsprintfA(text, "Installing %s device driver...", Script.DeviceName);
    ShowProgress(true, text);
    if (FindSourceInf(sourceInf) && TakeCheckedDriverPackage(sourceInf))
        status = InstallWithInstaller(sourceInf);
    ShowProgress(false, NULL);
    return status;
}

bool IsWindowsInf(const char *path)
{
    char folder[MAX_PATH], infFolder[MAX_PATH];
    return EndsWithText(path, ".inf") && SystemFolders.WindowsDir != NULL && JoinPath(infFolder, SystemFolders.WindowsDir, "inf") &&
           lstrcmpiA(DirOfPath(folder, path), infFolder) == 0;
}

// This Wine's SetupUninstallOEMInfA answers yes and deletes nothing without force: what is left
// of the INF then goes as a file (on Windows nothing is).
bool RemoveDriverPackage(const char *infPath)
{
    const char *name = StrFindLastChar(infPath, '\\') + 1;
    if (!BindSetupApiProcedure((FARPROC *)&SetupApi.UninstallOEMInf, "SetupUninstallOEMInfA"))
        return false;
    if (SetupApi.UninstallOEMInf(name, 0, NULL)) {
        LogLine(kLogAction, "Removed driver package \"%s\"", name);
        return DeleteOneFile(infPath);
    }
    SetupApiErrorToHresult();
    if (GetLastError() == (DWORD)HRESULT_FROM_SETUPAPI(ERROR_INF_IN_USE_BY_DEVICES)) {
        LogLine(kLogAction, "Driver package \"%s\" stays: another device uses it", name);
        return true;
    }
    LogLine(kLogError, "Cannot remove driver package \"%s\" (%s)", name, LastErrorText());
    return false;
}

RunStatus RemoveDevice(const char *instanceId)
{
    RunStatus status;
    StatusInit(&status);
    char text[kMaxFormattedText];
    wsprintfA(text, "Removing device \"%s\"...", instanceId);
    ShowProgress(true, text);
    HDEVINFO list = 0;
    SP_DEVINFO_DATA element;
    if (OpenDeviceByInstanceId(&list, &element, instanceId, false))
        RemoveDeviceNode(list, &element);
    DestroyDeviceList(&list);
    ShowProgress(false, NULL);
    return status;
}
