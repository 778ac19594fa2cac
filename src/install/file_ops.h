// Copying, loading, saving and deleting files, and the question before one is taken over.
#pragma once
#include <windows.h>
#include "shell/runstate.h"

const DWORD kCopyBlockSize = 20480;

// Copies every FileList entry in order and records each copied file.
RunStatus CopyFiles();
// False with last error 80 and no box when the destination exists and failIfExists is set;
// every other failure has been shown.
bool CopyOneFile(const char *source, const char *destination, bool failIfExists);
// "Directory" or "File": only an advanced user may answer Yes.
bool ConfirmOverwrite(const char *kind, const char *name);
// The whole file and a terminating zero in a heap block (MemFree it); null after a box.
char *LoadFile(const char *folder, const char *name, DWORD *size);
bool SaveFile(const char *path, const void *data, DWORD size);
// True when the file is gone, also when it was not there; else false with the system's error.
bool DeleteOneFile(const char *path);
bool QueueFileDeletion(const char *path, bool renameFirst);
