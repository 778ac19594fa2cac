#include "audio/pnp_device.h"
#include "support/msgbox.h"
#include "system/devices.h"
#include "ui/progress.h"

RunStatus RemoveDevice(const char *instanceId)
{
    RunStatus status;
    StatusInit(&status);
    char text[kMaxFormattedText];
    wsprintfA(text, "Removing device \"%s\"...", instanceId);
    ShowProgress(true, text);
    HDEVINFO list = 0;
    SP_DEVINFO_DATA element;
    if (OpenDeviceByInstanceId(&list, &element, instanceId, false))
        RemoveDeviceNode(list, &element);
    DestroyDeviceList(&list);
    ShowProgress(false, NULL);
    return status;
}
