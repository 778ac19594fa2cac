#include "system/setupapi_binding.h"
#include "support/msgbox.h"
#include "support/errortext.h"
#include "support/tracelog.h"
#include "system/library.h"

SetupApiBinding SetupApi;

static const ProcedureSlot kSetupApiProcedures[] = {
    { "SetupCopyOEMInfA", (FARPROC *)&SetupApi.CopyOEMInf },
    { "SetupDiGetINFClassA", (FARPROC *)&SetupApi.GetINFClass },
    { "SetupDiCreateDeviceInfoList", (FARPROC *)&SetupApi.CreateDeviceInfoList },
    { "SetupDiGetClassDevsA", (FARPROC *)&SetupApi.GetClassDevs },
    { "SetupDiCreateDeviceInfoA", (FARPROC *)&SetupApi.CreateDeviceInfo },
    { "SetupDiOpenDeviceInfoA", (FARPROC *)&SetupApi.OpenDeviceInfo },
    { "SetupDiEnumDeviceInfo", (FARPROC *)&SetupApi.EnumDeviceInfo },
    { "SetupDiGetDeviceRegistryPropertyA", (FARPROC *)&SetupApi.GetDeviceRegistryProperty },
    { "SetupDiSetDeviceRegistryPropertyA", (FARPROC *)&SetupApi.SetDeviceRegistryProperty },
    { "SetupDiOpenDevRegKey", (FARPROC *)&SetupApi.OpenDevRegKey },
    { "SetupDiGetDeviceInstanceIdA", (FARPROC *)&SetupApi.GetDeviceInstanceId },
    { "SetupDiGetDeviceInstallParamsA", (FARPROC *)&SetupApi.GetDeviceInstallParams },
    { "SetupDiSetDeviceInstallParamsA", (FARPROC *)&SetupApi.SetDeviceInstallParams },
    { "SetupDiSetClassInstallParamsA", (FARPROC *)&SetupApi.SetClassInstallParams },
    { "SetupDiBuildDriverInfoList", (FARPROC *)&SetupApi.BuildDriverInfoList },
    { "SetupDiEnumDriverInfoA", (FARPROC *)&SetupApi.EnumDriverInfo },
    { "SetupDiSetSelectedDriverA", (FARPROC *)&SetupApi.SetSelectedDriver },
    { "SetupDiCallClassInstaller", (FARPROC *)&SetupApi.CallClassInstaller },
    { "SetupDiRemoveDevice", (FARPROC *)&SetupApi.RemoveDevice },
    { "SetupDiDestroyDeviceInfoList", (FARPROC *)&SetupApi.DestroyDeviceInfoList },
    { NULL, NULL },
};

bool LoadSetupApi()
{
    SetupApi.module = LibraryLoad("setupapi.dll");
    if (SetupApi.module == NULL)
        return false;
    const char *missing = NULL;
    if (!LibraryResolve(SetupApi.module, kSetupApiProcedures, &missing)) {
        ErrorBox("Cannot get addr of %s (%s)", missing, LastErrorText());
        FreeLibrary(SetupApi.module);
        SetupApi.module = NULL;
        return false;
    }
    return true;
}

bool BindSetupApiProcedure(FARPROC *slot, const char *name)
{
    if (*slot == NULL && SetupApi.module != NULL)
        *slot = GetProcAddress(SetupApi.module, name);
    if (*slot == NULL)
        LogLine(kLogError, "Cannot get addr of %s (%s)", name, LastErrorText());
    return *slot != NULL;
}
