#include "system/devices.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/tracelog.h"
#include "system/setupapi_binding.h"
#include <devguid.h>

const DWORD kSetupApiNoSuchDevice = 0x800F020B;   // ERROR_NO_SUCH_DEVINST in its HRESULT form

static void InitElement(SP_DEVINFO_DATA *element)
{
    ZeroMemory(element, sizeof *element);
    element->cbSize = sizeof *element;
}

// The list handle of a call that answers INVALID_HANDLE_VALUE on failure; its error is converted.
static HDEVINFO ListOrZero(HDEVINFO list)
{
    if (list != INVALID_HANDLE_VALUE)
        return list;
    SetupApiErrorToHresult();
    return 0;
}

void DestroyDeviceList(HDEVINFO *list)
{
    DWORD savedError = GetLastError();
    if (*list != 0)
        SetupApi.DestroyDeviceInfoList(*list);
    *list = 0;
    SetLastError(savedError);
}

HDEVINFO GetPresentDevices()
{
    HDEVINFO list = ListOrZero(SetupApi.GetClassDevs(NULL, NULL, NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (list == 0)
        ErrorBox("Cannot get present devices list (%s)", LastErrorText());
    return list;
}

bool GetDeviceInstanceId(HDEVINFO list, SP_DEVINFO_DATA *element, char *output)
{
    output[0] = '\0';
    if (SetupApi.GetDeviceInstanceId(list, element, output, MAX_PATH, NULL))
        return true;
    SetupApiErrorToHresult();
    return false;
}

bool QueryDeviceService(HDEVINFO list, SP_DEVINFO_DATA *element, char *output)
{
    output[0] = '\0';
    if (SetupApi.GetDeviceRegistryProperty(list, element, SPDRP_SERVICE, NULL, (BYTE *)output, MAX_PATH, NULL))
        return true;
    SetupApiErrorToHresult();
    return false;
}

struct IdProperty {
    DWORD property;
    const char *name;
};

static const IdProperty kIdProperties[] = {
    { SPDRP_HARDWAREID, "HARDWAREID" },
    { SPDRP_COMPATIBLEIDS, "COMPATIBLEIDS" },
    { 0, NULL },
};

// The property's multi-string in a heap block the caller frees; null when the device has none or
// it cannot be read (a box unless the device simply lacks it).
static char *ReadIdProperty(HDEVINFO list, SP_DEVINFO_DATA *element, const IdProperty *property, DWORD *size)
{
    char *buffer = NULL;
    *size = 0;
    while (!SetupApi.GetDeviceRegistryProperty(list, element, property->property, NULL, (BYTE *)buffer, *size, size)) {
        SetupApiErrorToHresult();
        MemFree(buffer);
        buffer = NULL;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            if (GetLastError() != ERROR_INVALID_DATA)
                ErrorBox("Cannot get %s property (%s)", property->name, LastErrorText());
            return NULL;
        }
        buffer = (char *)MemAlloc(*size + 2);   // two spare zeros end even an unterminated list
    }
    return buffer;
}

// Each string of the list, up to the first empty one or the end of what the call returned.
static const char *FindIdInList(const char *list, DWORD size, const char *id)
{
    for (DWORD at = 0; at < size && list[at] != '\0';) {
        const char *text = list + at;
        if (lstrcmpiA(text, id) == 0)
            return text;
        at += (DWORD)lstrlenA(text) + 1;
    }
    return NULL;
}

static bool DeviceHasId(HDEVINFO list, SP_DEVINFO_DATA *element, DWORD index, const char *id)
{
    for (const IdProperty *property = kIdProperties; property->name != NULL; property++) {
        DWORD size = 0;
        char *ids = ReadIdProperty(list, element, property, &size);
        const char *match = ids != NULL ? FindIdInList(ids, size, id) : NULL;
        if (match != NULL)
            LogLine(kLogAction, "Found \"%s\" (pos %u, %s)", match, index, property->name);
        MemFree(ids);
        if (match != NULL)
            return true;
    }
    return false;
}

bool FindDeviceByHardwareId(HDEVINFO list, SP_DEVINFO_DATA *element, const char *id)
{
    for (DWORD index = 0;; index++) {
        InitElement(element);
        if (!SetupApi.EnumDeviceInfo(list, index, element)) {
            SetupApiErrorToHresult();
            if (GetLastError() == ERROR_NO_MORE_ITEMS)
                SetLastError(ERROR_NOT_FOUND);
            else
                ErrorBox("Cannot get info for device %u (%s)", index, LastErrorText());
            return false;
        }
        if (DeviceHasId(list, element, index, id))
            return true;
    }
}

bool FindPresentDevice(const char *id, char *instanceId)
{
    SP_DEVINFO_DATA element;
    HDEVINFO list = GetPresentDevices();
    if (list == 0)
        return false;
    bool found = FindDeviceByHardwareId(list, &element, id);
    if (found && instanceId != NULL && !GetDeviceInstanceId(list, &element, instanceId)) {
        LogLine(kLogError, "Cannot get instace id for \"%s\" (%s)", id, LastErrorText());
        lstrcpyA(instanceId, "???");
    }
    DestroyDeviceList(&list);
    return found;
}

bool OpenDeviceByInstanceId(HDEVINFO *list, SP_DEVINFO_DATA *element, const char *instanceId, bool reportMissing)
{
    *list = ListOrZero(SetupApi.CreateDeviceInfoList(NULL, NULL));
    if (*list == 0) {
        ErrorBox("Cannot create device list (%s)", LastErrorText());
        return false;
    }
    InitElement(element);
    if (SetupApi.OpenDeviceInfo(*list, instanceId, NULL, 0, element))
        return true;
    SetupApiErrorToHresult();
    if (GetLastError() == kSetupApiNoSuchDevice)
        SetLastError(ERROR_NOT_FOUND);
    if (GetLastError() != ERROR_NOT_FOUND || reportMissing)
        ErrorBox("Cannot open device instance \"%s\" (%s)", instanceId, LastErrorText());
    DestroyDeviceList(list);
    return false;
}

bool RemoveDeviceNode(HDEVINFO list, SP_DEVINFO_DATA *element)
{
    char instanceId[MAX_PATH];
    if (!GetDeviceInstanceId(list, element, instanceId)) {
        LogLine(kLogError, "Cannot get instace id (%s)", LastErrorText());
        lstrcpyA(instanceId, "???");
    }
    if (!SetupApi.RemoveDevice(list, element)) {
        SetupApiErrorToHresult();
        ErrorBox("Cannot remove device \"%s\" (%s)", instanceId, LastErrorText());
        return false;
    }
    LogLine(kLogAction, "Removed device \"%s\"", instanceId);
    return true;
}

// The device of the legacy driver class whose service has the name; false with the last error
// ERROR_NOT_FOUND when there is none.
static bool FindLegacyDevice(HDEVINFO list, SP_DEVINFO_DATA *element, const char *serviceName)
{
    for (DWORD index = 0;; index++) {
        InitElement(element);
        if (!SetupApi.EnumDeviceInfo(list, index, element)) {
            SetupApiErrorToHresult();
            if (GetLastError() == ERROR_NO_MORE_ITEMS)
                SetLastError(ERROR_NOT_FOUND);
            else
                ErrorBox("Cannot get device %u info (%s)", index, LastErrorText());
            return false;
        }
        char service[MAX_PATH];
        if (QueryDeviceService(list, element, service)) {
            if (lstrcmpiA(service, serviceName) == 0)
                return true;
        } else if (GetLastError() != ERROR_INVALID_DATA) {
            ErrorBox("Cannot get device service name (%s)", LastErrorText());
        }
    }
}

bool RemoveLegacyDevice(const char *serviceName)
{
    SP_DEVINFO_DATA element;
    bool removed = false;
    HDEVINFO list = ListOrZero(SetupApi.GetClassDevs(&GUID_DEVCLASS_LEGACYDRIVER, NULL, NULL, DIGCF_PROFILE));
    if (list == 0) {
        ErrorBox("Cannot get device list (%s)", LastErrorText());
        return false;
    }
    if (FindLegacyDevice(list, &element, serviceName) && RemoveDeviceNode(list, &element)) {
        LogLine(kLogAction, "Removed legacy device for \"%s\"", serviceName);
        removed = true;
    }
    DestroyDeviceList(&list);
    return removed;
}
