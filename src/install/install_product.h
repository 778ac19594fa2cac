// The installation driver.
#pragma once
#include "support/runstate.h"

RunStatus InstallProduct();
// The script's device keys (a valid combination) and service keys (all four or none, valid
// numbers) as the installation checks them; false after a box.
bool CheckDeviceKeys();
bool CheckServiceKeys();
// Whether the product installs what needs administrator rights (a device, a service, the entry).
bool NeedsAdminRights();
// The question before a device, driver or service that is registered already is replaced: OK
// replaces it.
bool ConfirmReplace(const char *kind, const char *name);
