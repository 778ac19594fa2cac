#include "system/privileges.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/tracelog.h"
#include "support/errortext.h"

void RequireAdminRights()
{
    Run.AdminRightsRequired = true;
    LogLine(kLogBanner, "Administrator rights required");
}

bool CheckAdminRights()
{
    if (EnablePrivilege(SE_LOAD_DRIVER_NAME) && EnablePrivilege(SE_SHUTDOWN_NAME))
        return true;
    ErrorBox("You don't have rights enough to perform this operation.\n"
             "Please log in as an administrator and try again.");
    return false;
}

bool EnablePrivilege(const char *name)
{
    if (!Run.IsNT)
        return true;
    bool ok = false;
    HANDLE token = NULL;
    TOKEN_PRIVILEGES request;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        token = NULL;
        ErrorBox("Cannot open process token (%s)", LastErrorText());
        goto done;
    }
    request.PrivilegeCount = 1;
    request.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(NULL, name, &request.Privileges[0].Luid)) {
        ErrorBox("Cannot lookup privilege value (%s)", LastErrorText());
        goto done;
    }
    // The call's result says nothing about a privilege the account lacks: the last error does.
    AdjustTokenPrivileges(token, FALSE, &request, 0, NULL, NULL);
    switch (GetLastError()) {
    case ERROR_SUCCESS:
        ok = true;
        break;
    case ERROR_NOT_ALL_ASSIGNED:
        break;
    default:
        ErrorBox("Cannot adjust privileges (%s)", LastErrorText());
        break;
    }
done:
    if (token != NULL)
        CloseHandle(token);
    return ok;
}

void RestartWindows()
{
    if (!ExitWindowsEx(EWX_REBOOT, 0))
        MsgBox(MB_ICONEXCLAMATION, IDOK, "Cannot restart Windows automatically. Please do it manually.");
}
