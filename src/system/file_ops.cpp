#include "system/file_ops.h"
#include "support/errortext.h"
#include "support/guid.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/text.h"
#include "support/tracelog.h"
#include "support/work_meter.h"
#include "system/file_hash.h"

const char kCannotOpenFile[] = "Cannot open file \"%s\" (%s)";
const char kCannotCreateDirectory[] = "Cannot create directory \"%s\" (%s)";

// Stops with ERROR_CANCELLED and no box when the meter's window asks for it; hashes the blocks it
// copies when given a hash.
static bool CopyBlocks(HANDLE from, HANDLE to, const char *source, const char *destination, WorkMeter *meter, FileHash *hash)
{
    bool ok = false;
    char *buffer = (char *)MemAlloc(kCopyBlockSize);
    for (;;) {
        DWORD got = 0;
        DWORD written = 0;
        if (WorkCancelled(meter)) {
            SetLastError(ERROR_CANCELLED);
            break;
        }
        if (!ReadFile(from, buffer, kCopyBlockSize, &got, NULL)) {
            ErrorBox("Cannot read from \"%s\" (%s)", source, LastErrorText());
            break;
        }
        if (got == 0) {
            ok = true;
            break;
        }
        SetLastError(ERROR_SUCCESS);
        if (!WriteFile(to, buffer, got, &written, NULL) || written != got) {
            if (GetLastError() == ERROR_SUCCESS)
                SetLastError(ERROR_DISK_FULL);   // a short write to a file: no room left
            ErrorBox("Cannot write to \"%s\" (%s)", destination, LastErrorText());
            break;
        }
        if (meter != NULL)
            meter->done += got;
        if (hash != NULL && !AddToHash(hash, buffer, got)) {
            ErrorBox(kCannotHashFile, source, LastErrorText());
            break;
        }
    }
    MemFree(buffer);
    return ok;
}

// A cancelled copy takes its unfinished destination along (no journal line names it); one that
// failed leaves what it wrote.
bool CopyOneFile(const char *source, const char *destination, bool failIfExists, WorkMeter *meter, BYTE *digest)
{
    bool ok = false;
    FileHash hash = {};
    HANDLE to = INVALID_HANDLE_VALUE;
    HANDLE from = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (from == INVALID_HANDLE_VALUE) {
        ErrorBox("Cannot open \"%s\" (%s)", source, LastErrorText());
        goto done;
    }
    if (digest != NULL && !StartHash(&hash)) {
        ErrorBox(kCannotHashFile, source, LastErrorText());
        goto done;
    }
    to = CreateFileA(destination, GENERIC_WRITE, 0, NULL, failIfExists ? CREATE_NEW : CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, NULL);
    if (to == INVALID_HANDLE_VALUE) {
        if (!(failIfExists && GetLastError() == ERROR_FILE_EXISTS))
            ErrorBox("Cannot create \"%s\" (%s)", destination, LastErrorText());
        goto done;
    }
    if (!CopyBlocks(from, to, source, destination, meter, digest != NULL ? &hash : NULL))
        goto done;
    if (digest != NULL && !FinishHash(&hash, digest)) {
        ErrorBox(kCannotHashFile, source, LastErrorText());
        goto done;
    }
    LogLine(kLogAction, "Copied \"%s\" -> \"%s\"", source, destination);
    ok = true;
done:
    DWORD savedError = GetLastError();   // the caller tests it for ERROR_FILE_EXISTS and ERROR_CANCELLED
    ReleaseHash(&hash);
    if (to != INVALID_HANDLE_VALUE)
        CloseHandle(to);
    if (from != INVALID_HANDLE_VALUE)
        CloseHandle(from);
    if (savedError == ERROR_CANCELLED && DeleteFileA(destination))
        LogLine(kLogAction, "Deleted the unfinished copy \"%s\"", destination);
    SetLastError(savedError);
    return ok;
}

char *LoadFile(const char *path, const char *name, DWORD *size)
{
    char *block = NULL;
    DWORD fileSize = 0;
    DWORD got = 0;
    LogLine(kLogAction, "Loading file \"%s\"", path);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        ErrorBox(kCannotOpenFile, name, LastErrorText());
        return NULL;
    }
    fileSize = GetFileSize(file, NULL);
    if (fileSize == INVALID_FILE_SIZE) {
        ErrorBox("Cannot get size of file \"%s\" (%s)", name, LastErrorText());
        goto done;
    }
    block = (char *)MemAlloc((SIZE_T)fileSize + 1);
    LogLine(kLogValue, "Reading %u bytes from file \"%s\"", fileSize, path);
    if (!ReadFile(file, block, fileSize, &got, NULL) || got != fileSize) {
        if (got != fileSize && GetLastError() == ERROR_SUCCESS)
            SetLastError(ERROR_HANDLE_EOF);
        ErrorBox("Cannot read %u bytes from file \"%s\" (%s)", fileSize, name, LastErrorText());
        MemFree(block);
        block = NULL;
        goto done;
    }
    block[fileSize] = '\0';
    if (size != NULL)
        *size = fileSize;
done:
    CloseHandle(file);
    return block;
}

char *ReadWholeFile(const char *path, DWORD *size)
{
    char *block = NULL;
    DWORD got = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    DWORD fileSize = GetFileSize(file, NULL);
    if (fileSize != INVALID_FILE_SIZE) {
        block = (char *)MemAlloc((SIZE_T)fileSize + 1);
        if (ReadFile(file, block, fileSize, &got, NULL) && got == fileSize) {
            block[fileSize] = '\0';
            if (size != NULL)
                *size = fileSize;
        } else {
            MemFree(block);
            block = NULL;
        }
    }
    DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return block;
}

// The new content is written over the old before the file is cut to its length: a program killed
// meanwhile leaves the old content or the new one, never an emptied file.
static HANDLE OpenWholeFile(const char *path)
{
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

// Writes and cuts, then closes the file; the last error survives the close.
static bool WriteAndClose(HANDLE file, const void *data, DWORD size)
{
    DWORD written = 0;
    SetLastError(ERROR_SUCCESS);
    bool ok = WriteFile(file, data, size, &written, NULL) && written == size && SetEndOfFile(file);
    if (!ok && GetLastError() == ERROR_SUCCESS)
        SetLastError(ERROR_DISK_FULL);   // a short write: no room left
    DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return ok;
}

bool WriteWholeFile(const char *path, const void *data, DWORD size)
{
    HANDLE file = OpenWholeFile(path);
    return file != INVALID_HANDLE_VALUE && WriteAndClose(file, data, size);
}

bool SaveFile(const char *path, const void *data, DWORD size)
{
    HANDLE file = OpenWholeFile(path);
    if (file == INVALID_HANDLE_VALUE) {
        ErrorBox("Cannot create file \"%s\" (%s)", path, LastErrorText());
        return false;
    }
    if (!WriteAndClose(file, data, size)) {
        ErrorBox("Cannot write %u bytes to file \"%s\" (%s)", size, path, LastErrorText());
        return false;
    }
    LogLine(kLogValue, "Saved %u bytes to \"%s\"", size, path);
    return true;
}

bool DeleteOneFile(const char *path)
{
    if (DeleteFileA(path)) {
        LogLine(kLogAction, "Deleted file \"%s\"", path);
        return true;
    }
    if (GetLastError() == ERROR_FILE_NOT_FOUND) {
        LogLine(kLogError, "File \"%s\" to be deleted doesn't exist", path);
        return true;
    }
    return false;
}

// The same folder, a fresh GUID name: the file in use gets out of the way of a new install.
static bool RenameForDeletion(const char *path, char *renamed)
{
    char guidText[kGuidTextSize];
    const char *slash = StrFindLastChar(path, '\\');
    int folderLength = slash != NULL ? (int)(slash - path) + 1 : 0;
    if (!NewGuidText(guidText)) {
        LogLine(kLogError, "Cannot create a GUID for deletion filename (%s)", LastErrorText());
        return false;
    }
    if (folderLength + kGuidTextSize + 4 > MAX_PATH)
        return false;
    lstrcpynA(renamed, path, folderLength + 1);
    wsprintfA(renamed + folderLength, "%s.tmp", guidText);
    if (!MoveFileExA(path, renamed, 0)) {
        LogLine(kLogError, "Cannot rename \"%s\" to \"%s\"", path, renamed);
        return false;
    }
    LogLine(kLogAction, "File \"%s\" renamed to \"%s\"", path, renamed);
    return true;
}

bool QueueFileDeletion(const char *path, bool renameFirst, char *queued)
{
    char renamed[MAX_PATH];
    LogLine(kLogAction, "Queuing \"%s\" for deletion", path);
    if (!Run.IsNT)
        return false;
    const char *name = renameFirst && RenameForDeletion(path, renamed) ? renamed : path;
    if (!MoveFileExA(name, NULL, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        LogLine(kLogError, "Cannot place \"%s\" to a del queue", name);
        return false;
    }
    if (queued != NULL)
        lstrcpynA(queued, name, MAX_PATH);
    return true;
}

HANDLE CreateUniqueFile(const char *folder, char *path, const char *extension)
{
    int folderLength = wsprintfA(path, "%s\\", folder);
    for (;;) {
        GUID guid;
        if (!NewGuid(&guid)) {
            LogLine(kLogError, "Cannot create a GUID for temp %s file (%s)", extension, LastErrorText());
            break;
        }
        char guidText[kGuidTextSize];
        wsprintfA(path + folderLength, "%s.%s", GuidText(guidText, &guid, false), extension);
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            LogLine(kLogValue, "Created temporary file \"%s\"", path);
            return file;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    ErrorBox("Cannot create \"%s\" (%s)", path, LastErrorText());
    return INVALID_HANDLE_VALUE;
}
