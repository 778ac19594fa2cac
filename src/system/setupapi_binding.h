// The setup API, bound by name at start-up and kept for the whole run.
#pragma once
#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>

struct SetupApiBinding {
    HMODULE module;
    decltype(&SetupCopyOEMInfA) CopyOEMInf;
    decltype(&SetupDiGetINFClassA) GetINFClass;
    decltype(&SetupDiCreateDeviceInfoList) CreateDeviceInfoList;
    decltype(&SetupDiGetClassDevsA) GetClassDevs;
    decltype(&SetupDiCreateDeviceInfoA) CreateDeviceInfo;
    decltype(&SetupDiOpenDeviceInfoA) OpenDeviceInfo;
    decltype(&SetupDiEnumDeviceInfo) EnumDeviceInfo;
    decltype(&SetupDiGetDeviceRegistryPropertyA) GetDeviceRegistryProperty;
    decltype(&SetupDiSetDeviceRegistryPropertyA) SetDeviceRegistryProperty;
    decltype(&SetupDiOpenDevRegKey) OpenDevRegKey;
    decltype(&SetupDiGetDeviceInstanceIdA) GetDeviceInstanceId;
    decltype(&SetupDiGetDeviceInstallParamsA) GetDeviceInstallParams;
    decltype(&SetupDiSetDeviceInstallParamsA) SetDeviceInstallParams;
    decltype(&SetupDiSetClassInstallParamsA) SetClassInstallParams;
    decltype(&SetupDiBuildDriverInfoList) BuildDriverInfoList;
    decltype(&SetupDiEnumDriverInfoA) EnumDriverInfo;
    decltype(&SetupDiSetSelectedDriverA) SetSelectedDriver;
    decltype(&SetupDiCallClassInstaller) CallClassInstaller;
    decltype(&SetupDiRemoveDevice) RemoveDevice;
    decltype(&SetupDiDestroyDeviceInfoList) DestroyDeviceInfoList;
    // Bound where they are used, not required at start-up: null until then, and when the system
    // lacks them.
    decltype(&CM_Get_DevNode_Status) GetDevNodeStatus;
    decltype(&SetupUninstallOEMInfA) UninstallOEMInf;
};

extern SetupApiBinding SetupApi;

// Loads setupapi.dll and resolves its twenty procedures; a missing one is shown in a box.
bool LoadSetupApi();
// One of the procedures bound where they are used (slot: a member above); false, with a log
// line naming it, when the system lacks it.
bool BindSetupApiProcedure(FARPROC *slot, const char *name);
