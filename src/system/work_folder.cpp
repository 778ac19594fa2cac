#include "system/work_folder.h"
#include "support/errortext.h"
#include "support/guid.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/text.h"
#include "support/tracelog.h"
#include "system/file_ops.h"
#include <sddl.h>

const char kWorkFolderPrefix[] = "brindlework_setup_";
// Held open without delete sharing while the run that made the folder lives; gone with it.
static const char kLockName[] = "lock";
// Administrators and the system, full control, inherited by what is made inside; nothing from the
// parent, whose access list lets every user create files and folders there.
static const char kWorkFolderAccess[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// Room left in a path for a file in the folder: a GUID name and an extension.
const UINT kFileNameRoom = 48;

static struct {
    char path[MAX_PATH];   // empty until made
    HANDLE lock;
    bool keep;
} work;

bool GetSystemTempDir(char *path)
{
    UINT length = GetSystemWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 6 >= MAX_PATH) {
        if (length != 0)
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    lstrcpyA(path + length, EndsWithChar(path, '\\') ? "Temp" : "\\Temp");
    return true;
}

// Systems before NT keep no access lists: the folder is made plain there.
static bool MakeProtectedFolder(const char *path)
{
    SECURITY_ATTRIBUTES attributes = { sizeof attributes, NULL, FALSE };
    if (Run.IsNT && !ConvertStringSecurityDescriptorToSecurityDescriptorA(kWorkFolderAccess, SDDL_REVISION_1,
                                                                           &attributes.lpSecurityDescriptor, NULL))
        return false;
    bool made = CreateDirectoryA(path, &attributes) != FALSE;
    DWORD error = GetLastError();
    LocalFree(attributes.lpSecurityDescriptor);
    SetLastError(error);
    return made;
}

static void LockPath(char *lock, const char *folder)
{
    wsprintfA(lock, "%s\\%s", folder, kLockName);
}

// The folder's path from the system's temporary folder and a fresh GUID.
static bool ComposeWorkFolderPath(char *path)
{
    char temp[MAX_PATH];
    char guidText[kGuidTextSize];
    path[0] = '\0';
    if (!GetSystemTempDir(temp) || !NewGuidText(guidText))
        return false;
    if (lstrlenA(temp) + 1 + lstrlenA(kWorkFolderPrefix) + (int)kGuidTextSize + (int)kFileNameRoom >= MAX_PATH) {
        lstrcpyA(path, temp);
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    wsprintfA(path, "%s\\%s%s", temp, kWorkFolderPrefix, guidText);
    return true;
}

const char *WorkFolder()
{
    if (work.lock != NULL)
        return work.path;
    char lock[MAX_PATH];
    bool made = ComposeWorkFolderPath(work.path) && MakeProtectedFolder(work.path);
    if (made) {
        LockPath(lock, work.path);
        work.lock = CreateFileA(lock, GENERIC_WRITE | DELETE, FILE_SHARE_READ, NULL, CREATE_NEW,
                                FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, NULL);
        if (work.lock != INVALID_HANDLE_VALUE) {
            LogLine(kLogValue, "WorkFolder=\"%s\"", work.path);
            return work.path;
        }
    }
    ErrorBox(kCannotCreateDirectory, work.path, LastErrorText());
    if (made)
        RemoveDirectoryA(work.path);
    work.lock = NULL;
    work.path[0] = '\0';
    return NULL;
}

bool IsWorkFolder(const char *folder)
{
    char temp[MAX_PATH];
    const char *slash = StrFindLastChar(folder, '\\');
    int prefixLength = lstrlenA(kWorkFolderPrefix);
    return slash != NULL && GetSystemTempDir(temp) && lstrlenA(temp) == (int)(slash - folder) &&
           CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, folder, (int)(slash - folder), temp, -1) == CSTR_EQUAL &&
           StrPrefixCompare(slash + 1, kWorkFolderPrefix, prefixLength) == 0 && lstrlenA(slash + 1) > prefixLength;
}

void KeepWorkFolder()
{
    work.keep = true;
}

// Deletes what the folder holds, its subfolders' contents too, then the folder; false at the
// first thing still in use. A link (a junction a user planted under our name) is removed as it
// is, never followed, and no attribute is changed: what a link names stays untouched.
static bool RemoveFolderTree(const char *folder)
{
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA found;
    if (lstrlenA(folder) + 2 >= MAX_PATH)
        return false;
    wsprintfA(pattern, "%s\\*", folder);
    HANDLE search = FindFirstFileA(pattern, &found);
    bool removable = true;
    for (BOOL more = search != INVALID_HANDLE_VALUE; more && removable; more = FindNextFileA(search, &found)) {
        char path[MAX_PATH];
        DWORD attributes = found.dwFileAttributes;
        if (lstrcmpA(found.cFileName, ".") == 0 || lstrcmpA(found.cFileName, "..") == 0)
            continue;
        removable = lstrlenA(folder) + 1 + lstrlenA(found.cFileName) < MAX_PATH;
        if (!removable)
            break;
        wsprintfA(path, "%s\\%s", folder, found.cFileName);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            removable = DeleteFileA(path) || GetLastError() == ERROR_FILE_NOT_FOUND;
        else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            removable = RemoveDirectoryA(path) != FALSE;
        else
            removable = RemoveFolderTree(path);
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    return removable && RemoveDirectoryA(folder);
}

void DropWorkFolder()
{
    if (work.lock == NULL || work.keep)
        return;
    CloseHandle(work.lock);
    work.lock = NULL;
    if (RemoveFolderTree(work.path))
        LogLine(kLogValue, "Removed the work folder \"%s\"", work.path);
    else
        LogLine(kLogError, "Cannot remove the work folder \"%s\" (%s)", work.path, LastErrorText());
    work.path[0] = '\0';
}

// A folder whose lock is held belongs to a run that still lives; one whose program still runs
// keeps that file.
static void RemoveStaleWorkFolder(const char *folder)
{
    char lock[MAX_PATH];
    LockPath(lock, folder);
    if (!DeleteFileA(lock) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return;
    if (RemoveFolderTree(folder))
        LogLine(kLogValue, "Removed the work folder \"%s\" an earlier run left", folder);
}

void RemoveStaleWorkFolders()
{
    char temp[MAX_PATH];
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA found;
    if (!GetSystemTempDir(temp))
        return;
    wsprintfA(pattern, "%s\\%s*", temp, kWorkFolderPrefix);
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        char folder[MAX_PATH];
        // A junction under our name is a user's, never ours: it is not followed.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
            lstrlenA(temp) + 1 + lstrlenA(found.cFileName) + (int)kFileNameRoom >= MAX_PATH)
            continue;
        wsprintfA(folder, "%s\\%s", temp, found.cFileName);
        if (lstrcmpiA(folder, work.path) != 0)
            RemoveStaleWorkFolder(folder);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}
