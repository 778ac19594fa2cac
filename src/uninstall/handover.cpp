#include "uninstall/handover.h"
#include "support/errortext.h"
#include "support/msgbox.h"
#include "support/text.h"
#include "support/tracelog.h"

const DWORD kFolderWaitMs = 60000;
enum ResultSlot { kResultStatus, kResultRestart, kResultSlots };

void FolderObjectName(char *name, const char *installDir, const char *suffix)
{
    StrCopyCut(name, installDir, MAX_PATH);
    for (char *c = name; *c != '\0'; c = (char *)NextChar(c)) {
        if (*c == '\\')
            *c = '/';
    }
    lstrcatA(name, suffix);
}

bool OpenResultChannel(ResultChannel *channel, bool create)
{
    char name[kObjectNameSize];
    ZeroMemory(channel, sizeof *channel);
    FolderObjectName(name, Run.InstallDir, "/result");
    // A channel that exists before the primary makes it is not its own: its result could be anyone's.
    channel->mapping = create ? CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, sizeof(DWORD) * kResultSlots, name)
                              : OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
    if (create && channel->mapping != NULL && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(channel->mapping);
        channel->mapping = NULL;
        SetLastError(ERROR_ALREADY_EXISTS);
    }
    if (channel->mapping != NULL)
        channel->block = (volatile DWORD *)MapViewOfFile(channel->mapping, FILE_MAP_WRITE, 0, 0, sizeof(DWORD) * kResultSlots);
    FolderObjectName(name, Run.InstallDir, "/done");
    if (channel->block != NULL)
        channel->done = create ? CreateEventA(NULL, TRUE, FALSE, name) : OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
    if (create && channel->done != NULL && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(channel->done);
        channel->done = NULL;
        SetLastError(ERROR_ALREADY_EXISTS);
    }
    if (channel->done != NULL)
        return true;
    ErrorBox("Cannot %s sync event (%s)", create ? "create" : "open", LastErrorText());
    CloseResultChannel(channel);
    return false;
}

void CloseResultChannel(ResultChannel *channel)
{
    DWORD savedError = GetLastError();
    if (channel->block != NULL)
        UnmapViewOfFile((const void *)channel->block);
    if (channel->mapping != NULL)
        CloseHandle(channel->mapping);
    if (channel->done != NULL)
        CloseHandle(channel->done);
    ZeroMemory(channel, sizeof *channel);
    SetLastError(savedError);
}

void ReportResult(ResultChannel *channel, RunStatus status, bool restartNeeded)
{
    channel->block[kResultStatus] = status;
    channel->block[kResultRestart] = restartNeeded;
    LogLine(kLogValue, "Reporting status %u%s to the primary process", status, restartNeeded ? " (a restart is needed)" : "");
    SetEvent(channel->done);
}

RunStatus WaitForResult(ResultChannel *channel, HANDLE secondary)
{
    HANDLE handles[2] = { channel->done, secondary };
    LogLine(kLogValue, "Waiting for the secondary process's result");
    if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) {
        ErrorBox("Cannot get signal from secondary process");
        return kStatusFailed;
    }
    RunStatus status = channel->block[kResultStatus];
    Run.RestartNeeded = Run.RestartNeeded || channel->block[kResultRestart] != 0;
    LogLine(kLogValue, "Secondary process status %u%s", status, Run.RestartNeeded ? " (a restart is needed)" : "");
    return status;
}

// The folder as Windows compares paths, without regard to case: the uninstaller and a later
// installation may write it differently.
static void RemovingName(char *name, const char *installDir)
{
    FolderObjectName(name, installDir, "/removing");
    CharUpperA(name);
}

HANDLE HoldFolder(const char *installDir)
{
    char name[kObjectNameSize];
    RemovingName(name, installDir);
    HANDLE hold = CreateMutexA(NULL, TRUE, name);
    if (hold != NULL && GetLastError() == ERROR_ALREADY_EXISTS) {   // not ours, and not owned
        CloseHandle(hold);
        hold = NULL;
    }
    return hold;
}

void ReleaseFolder(HANDLE hold)
{
    if (hold == NULL)
        return;
    ReleaseMutex(hold);
    CloseHandle(hold);
}

void WaitForFolderRelease(const char *installDir)
{
    char name[kObjectNameSize];
    RemovingName(name, installDir);
    HANDLE hold = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name);
    if (hold == NULL)
        return;
    LogLine(kLogAction, "Waiting for the uninstallation of \"%s\" to end", installDir);
    DWORD result = WaitForSingleObject(hold, kFolderWaitMs);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
        ReleaseMutex(hold);
    CloseHandle(hold);
}
