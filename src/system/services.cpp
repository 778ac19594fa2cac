#include "system/services.h"
#include "support/errortext.h"
#include "support/msgbox.h"
#include "support/tracelog.h"
#include "system/devices.h"
#include "system/journal_recorder.h"

void ServiceContextInit(ServiceContext *context)
{
    context->scm = NULL;
    context->service = NULL;
    context->name[0] = '\0';
}

void ServiceContextClose(ServiceContext *context)
{
    DWORD savedError = GetLastError();
    if (context->service != NULL)
        CloseServiceHandle(context->service);
    context->service = NULL;
    context->name[0] = '\0';
    if (context->scm != NULL)
        CloseServiceHandle(context->scm);
    context->scm = NULL;
    SetLastError(savedError);
}

bool ScmEnsureOpen(ServiceContext *context)
{
    if (context->scm != NULL)
        return true;
    context->scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (context->scm == NULL) {
        ErrorBox("Cannot open Service Manager (%s)", LastErrorText());
        return false;
    }
    return true;
}

// The name kept for messages; a name that does not fit is refused before the system sees it.
static bool TakeServiceName(ServiceContext *context, const char *name, const char *failure)
{
    if (lstrlenA(name) >= (int)kServiceNameSize) {
        SetLastError(ERROR_INVALID_NAME);
        ErrorBox(failure, name, LastErrorText());
        return false;
    }
    lstrcpyA(context->name, name);
    return true;
}

bool ServiceCreate(ServiceContext *context, const char *name, const char *displayName, const char *image,
                   DWORD type, DWORD startType)
{
    static const char kFailure[] = "Cannot create service \"%s\" (%s)";
    if (!ScmEnsureOpen(context) || !TakeServiceName(context, name, kFailure))
        return false;
    context->service = CreateServiceA(context->scm, name, displayName, SERVICE_ALL_ACCESS, type, startType,
                                      SERVICE_ERROR_NORMAL, image, NULL, NULL, NULL, NULL, NULL);
    if (context->service == NULL) {
        ErrorBox(kFailure, name, LastErrorText());
        context->name[0] = '\0';
        return false;
    }
    LogLine(kLogAction, "Service \"%s\" installed", context->name);
    return true;
}

bool ServiceOpen(ServiceContext *context, const char *name, bool reportMissing)
{
    static const char kFailure[] = "Cannot open service \"%s\" (%s)";
    if (!ScmEnsureOpen(context) || !TakeServiceName(context, name, kFailure))
        return false;
    context->service = OpenServiceA(context->scm, name, SERVICE_ALL_ACCESS);
    if (context->service == NULL) {
        if (reportMissing || GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST)
            ErrorBox(kFailure, name, LastErrorText());
        context->name[0] = '\0';
        return false;
    }
    LogLine(kLogAction, "Service \"%s\" is opened", context->name);
    return true;
}

// While the service stays registered (it still runs, or a handle is still open) the SCM answers
// for it: the device the system keeps for its non-Plug-and-Play driver goes too.
bool ServiceDelete(ServiceContext *context)
{
    if (!ScmEnsureOpen(context))
        return false;
    if (!DeleteService(context->service)) {
        ErrorBox("Cannot delete service \"%s\" (%s)", context->name, LastErrorText());
        return false;
    }
    LogLine(kLogAction, "Service \"%s\" is deleted", context->name);
    char displayName[MAX_PATH];
    DWORD size = MAX_PATH;
    if (GetServiceDisplayNameA(context->scm, context->name, displayName, &size))
        RemoveLegacyDevice(context->name);
    return true;
}

bool ServiceStart(ServiceContext *context)
{
    if (!ScmEnsureOpen(context))
        return false;
    if (!StartServiceA(context->service, 0, NULL)) {
        ErrorBox("Cannot start service \"%s\" (%s)", context->name, LastErrorText());
        return false;
    }
    LogLine(kLogAction, "Service \"%s\" started", context->name);
    return true;
}

// A failure that leaves no error code counts as success, with the status zeroed rather than unset.
bool ServiceQueryStatus(ServiceContext *context, SERVICE_STATUS *status)
{
    ZeroMemory(status, sizeof *status);
    if (!ScmEnsureOpen(context))
        return false;
    SetLastError(ERROR_SUCCESS);
    if (!QueryServiceStatus(context->service, status) && GetLastError() != ERROR_SUCCESS) {
        ErrorBox("Cannot query status of service \"%s\" (%s)", context->name, LastErrorText());
        return false;
    }
    return true;
}

bool ServiceRequestStop(ServiceContext *context)
{
    if (!ScmEnsureOpen(context))
        return false;
    SERVICE_STATUS status;
    if (!ControlService(context->service, SERVICE_CONTROL_STOP, &status)) {
        ErrorBox("Cannot stop service \"%s\" (%s)", context->name, LastErrorText());
        return false;
    }
    LogLine(kLogAction, "Service \"%s\" is requested to stop", context->name);
    return true;
}

bool ServiceIsOpen(const ServiceContext *context)
{
    return context->service != NULL;
}

static bool StartsAtInstallation(DWORD startType)
{
    return startType == SERVICE_BOOT_START || startType == SERVICE_SYSTEM_START || startType == SERVICE_AUTO_START;
}

bool ServiceInstall(const char *name, const char *displayName, const char *image, DWORD type, DWORD startType)
{
    ServiceContext context;
    ServiceContextInit(&context);
    LogLine(kLogAction, "Installing service \"%s\" (%s)", name, image);
    bool ok = ServiceCreate(&context, name, displayName, image, type, startType) &&
              (!StartsAtInstallation(startType) || ServiceStart(&context)) &&
              JournalAddEvent(kEventInstallService, "\"%s\"", name);
    if (!ok && ServiceIsOpen(&context))
        ServiceDelete(&context);
    ServiceContextClose(&context);
    return ok;
}

// Polls until the service has stopped or the time is up; a stop request goes to every poll that
// finds it running, paused or starting. The tick difference survives the counter's wrap.
static void WaitForServiceStop(ServiceContext *context, RunStatus *status)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kServiceStopWaitMs) {
        SERVICE_STATUS current;
        if (!ServiceQueryStatus(context, &current)) {
            StatusSetWarning(status);
            return;
        }
        if (current.dwCurrentState == SERVICE_STOPPED)
            return;
        if (current.dwCurrentState != SERVICE_STOP_PENDING && !ServiceRequestStop(context)) {
            StatusSetWarning(status);
            return;
        }
        Sleep(1);
    }
}

RunStatus ServiceStopAndDelete(const char *name)
{
    RunStatus status;
    StatusInit(&status);
    ServiceContext context;
    ServiceContextInit(&context);
    if (!ServiceOpen(&context, name, false)) {
        if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST)
            LogLine(kLogError, "Service \"%s\" does not exist", name);
        else
            StatusSetWarning(&status);
    } else {
        WaitForServiceStop(&context, &status);
        if (!ServiceDelete(&context))
            StatusSetWarning(&status);
    }
    ServiceContextClose(&context);
    return status;
}

bool ServiceExists(const char *name)
{
    ServiceContext context;
    ServiceContextInit(&context);
    bool exists = ServiceOpen(&context, name, false);
    ServiceContextClose(&context);
    return exists;
}
