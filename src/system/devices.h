// Plug and Play devices through the setup API: found by hardware id, opened and removed by
// instance id, and the device the system keeps for a service's non-Plug-and-Play driver.
#pragma once
#include <windows.h>
#include <setupapi.h>

// A device list of 0 means that no list is held.
void DestroyDeviceList(HDEVINFO *list);   // the last error survives
HDEVINFO GetPresentDevices();             // 0 after a box
// output: MAX_PATH bytes; no message of their own.
bool GetDeviceInstanceId(HDEVINFO list, SP_DEVINFO_DATA *element, char *output);
bool QueryDeviceService(HDEVINFO list, SP_DEVINFO_DATA *element, char *output);
// The first device whose HARDWAREID or COMPATIBLEIDS lists the id (case ignored). Not found:
// false with ERROR_NOT_FOUND as the last error and no box.
bool FindDeviceByHardwareId(HDEVINFO list, SP_DEVINFO_DATA *element, const char *id);
// instanceId (MAX_PATH bytes, may be null) receives the present device's instance id.
bool FindPresentDevice(const char *id, char *instanceId);
// On success the caller owns the list. A missing device with reportMissing unset is silent.
bool OpenDeviceByInstanceId(HDEVINFO *list, SP_DEVINFO_DATA *element, const char *instanceId, bool reportMissing);
bool RemoveDeviceNode(HDEVINFO list, SP_DEVINFO_DATA *element);
// The legacy-driver-class device whose service is the named one; false and ERROR_NOT_FOUND when
// there is none.
bool RemoveLegacyDevice(const char *serviceName);
