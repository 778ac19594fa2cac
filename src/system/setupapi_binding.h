// The setup API, bound by name at start-up and kept for the whole run.
#pragma once
#include <windows.h>
#include <setupapi.h>

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
};

extern SetupApiBinding SetupApi;

// Loads setupapi.dll and resolves all twenty procedures; a missing one is shown in a box.
bool LoadSetupApi();
