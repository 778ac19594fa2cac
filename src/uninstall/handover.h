// What the two uninstaller processes share, by names made from the installation folder: the sync
// event of their handshake and, in a silent uninstallation, the secondary's result for the primary
// that waits for it (so that a deployment tool reads the exit code of the whole uninstallation),
// and the hold on the folder while the secondary deletes the primary's own copy after it has ended.
#pragma once
#include <windows.h>
#include "support/runstate.h"

const UINT kObjectNameSize = MAX_PATH + 16;

// The installation folder with every backslash turned into a forward slash, and the suffix
// (kObjectNameSize bytes): a name that every process meaning that folder makes alike.
void FolderObjectName(char *name, const char *installDir, const char *suffix);

struct ResultChannel {
    HANDLE mapping;
    HANDLE done;
    volatile DWORD *block;   // status, restart needed
};

// The primary creates the channel before it starts the secondary; the secondary opens it. False
// after a box.
bool OpenResultChannel(ResultChannel *channel, bool create);
void CloseResultChannel(ResultChannel *channel);
void ReportResult(ResultChannel *channel, RunStatus status, bool restartNeeded);
// Until the secondary reports or ends; its status, and RestartNeeded set when it needs a restart.
RunStatus WaitForResult(ResultChannel *channel, HANDLE secondary);

// Held by the secondary from its report to its last deletion; null when it cannot be had.
HANDLE HoldFolder(const char *installDir);
void ReleaseFolder(HANDLE hold);
// An installation into the folder first waits (at most a minute) for an uninstaller that still
// holds it.
void WaitForFolderRelease(const char *installDir);
