// The product's root-enumerated Plug and Play device and its WDM driver from an INF file: made
// by the program's own installer (the INF copied into the Windows INF folder, the class
// installer driven step by step) or by the standard system installer.
#pragma once
#include <windows.h>
#include <setupapi.h>
#include "support/runstate.h"

// The installation step: the device, its INF copies and its service are recorded. The device is
// enabled at the end; RestartNeeded is set when the system asks for it, and a device Windows could
// not start gives warnings.
RunStatus InstallWdmDevice();
// The own installer on systems before NT, and on NT 5 and older with the kernel-streaming
// audio stack present; the standard system installer otherwise.
bool UsesOwnInstaller();
// The INF named by WdmDriverInfFile in the source folder (MAX_PATH bytes), checked that it can be
// read; false after a box.
bool FindSourceInf(char *sourceInf);

// The steps, each telling its own failure.
bool CreateRootDevice(HDEVINFO *list, SP_DEVINFO_DATA *element, const char *description, const char *hardwareId,
                      const char *inf, char *instanceId, bool ownInstaller);
bool CopyInfToWindows(const char *sourceInf, char *copiedInf);
bool RecordInfFiles(const char *inf);
bool SetDriverPathAndFlags(HDEVINFO list, SP_DEVINFO_DATA *element, const char *inf);
bool SelectBestDriver(HDEVINFO list, SP_DEVINFO_DATA *element);
bool InstallDeviceInterfaces(HDEVINFO list, SP_DEVINFO_DATA *element, const char *inf);
bool UpdateDriverThroughSystem(HWND window, const char *hardwareId, const char *inf, bool *restartNeeded);
bool SetDeviceEnabled(HDEVINFO list, SP_DEVINFO_DATA *element, bool enable);
bool DeviceNeedsRestart(HDEVINFO list, SP_DEVINFO_DATA *element);
bool QueryDeviceInfPath(HDEVINFO list, SP_DEVINFO_DATA *element, char *output);

// Removes the device under the progress window; a device that is gone already is passed over
// without a message. Never fails: a removal that fails has shown its box.
RunStatus RemoveDevice(const char *instanceId);
// Whether the path names an INF in the Windows INF folder, whose driver package the system keeps.
bool IsWindowsInf(const char *path);
// The driver package of such an INF goes the Windows way (its INF, PNF and catalog, from the driver
// store too), after its device, and without force: a package another device still uses stays, with
// a log line. True when it is gone or stays so; false when the system could not remove it, and
// the caller deletes the INF as a plain file.
bool RemoveDriverPackage(const char *infPath);
