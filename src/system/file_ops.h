// Files one at a time: copy, load, save, delete, delete at the next restart, temporary files.
#pragma once
#include <windows.h>
#include "support/work_meter.h"

const DWORD kCopyBlockSize = 20480;
extern const char kCannotOpenFile[];          // the file's path, the system's error
extern const char kCannotCreateDirectory[];   // the folder's path, the system's error

// False with last error 80 and no box when the destination exists and failIfExists is set, and
// with last error 1223 and no box when the meter was cancelled (its count grows with every block
// copied; the unfinished destination is deleted); every other failure has been shown. digest
// (kDigestSize bytes), when given, receives the SHA-256 of the bytes copied.
bool CopyOneFile(const char *source, const char *destination, bool failIfExists, WorkMeter *meter = NULL, BYTE *digest = NULL);
// The whole file at path and a terminating zero in a heap block (MemFree it); null after a box
// that names the file as `name`.
char *LoadFile(const char *path, const char *name, DWORD *size);
// The same without a word: null leaves the cause as the last error.
char *ReadWholeFile(const char *path, DWORD *size);
// Replaces the file's content; false after a box.
bool SaveFile(const char *path, const void *data, DWORD size);
// The same without a word: false leaves the cause as the last error.
bool WriteWholeFile(const char *path, const void *data, DWORD size);
// True when the file is gone, also when it was not there; else false with the system's error.
bool DeleteOneFile(const char *path);
// queued (MAX_PATH bytes, may be null) receives the name the file is queued under.
bool QueueFileDeletion(const char *path, bool renameFirst, char *queued = NULL);
// A new empty file in the folder named by a fresh GUID and the extension, open for writing; path
// receives its name (room for the folder, '\\', 36 GUID characters, '.', the extension, '\0').
// The invalid handle value after a box.
HANDLE CreateUniqueFile(const char *folder, char *path, const char *extension);
