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
    decltype(&CM_Get_DevNode_Status) GetDevNodeStatus;
};

extern SetupApiBinding SetupApi;

// Loads setupapi.dll and resolves all its procedures; a missing one is shown in a box.
bool LoadSetupApi();
