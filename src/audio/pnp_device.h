// The product's root-enumerated Plug and Play device.
#pragma once
#include <windows.h>
#include "support/runstate.h"

// Removes the device under the progress window; a device that is gone already is passed over
// without a message. Never fails: a removal that fails has shown its box.
RunStatus RemoveDevice(const char *instanceId);
