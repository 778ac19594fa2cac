// The installation driver.
#pragma once
#include "support/runstate.h"

RunStatus InstallProduct();
// The question before a device, driver or service that is registered already is replaced: OK
// replaces it.
bool ConfirmReplace(const char *kind, const char *name);
