#include "install/parent_folders.h"
#include "support/errortext.h"
#include "support/msgbox.h"
#include "support/text.h"
#include "support/tracelog.h"
#include "system/file_ops.h"
#include "system/journal_recorder.h"

bool IsFolder(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Where the path's folders begin: after "C:\", or after "\\server\share\" of a network path.
static const char *FirstFolder(const char *path)
{
    if (path[0] != '\0' && path[1] == ':')
        return path[2] == '\\' ? path + 3 : path + 2;
    if (path[0] == '\\' && path[1] == '\\') {
        const char *share = StrFindChar(path + 2, '\\');
        const char *rest = share != NULL ? StrFindChar(share + 1, '\\') : NULL;
        return rest != NULL ? rest + 1 : path + lstrlenA(path);
    }
    return path[0] == '\\' ? path + 1 : path;
}

static RunStatus MakeParentFolder(const char *folder)
{
    if (IsFolder(folder))
        return 0;
    if (!CreateDirectoryA(folder, NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
        ErrorBox(kCannotCreateDirectory, folder, LastErrorText());
        return kStatusFailed;
    }
    LogLine(kLogAction, "Created directory \"%s\"", folder);
    return JournalAddEvent(kEventCreateDir, "\"%s\" %s", folder, kParentMark) ? 0 : kStatusFailed;
}

// Each folder from the top down to the last backslash (one that ends the path does not count).
RunStatus MakeParentFolders(const char *path)
{
    char folder[MAX_PATH];
    for (const char *slash = StrFindChar(FirstFolder(path), '\\'); slash != NULL && slash[1] != '\0';
         slash = StrFindChar(slash + 1, '\\')) {
        StrCopyCut(folder, path, (UINT)(slash - path) + 1);
        if (StatusIsFailed(MakeParentFolder(folder)))
            return kStatusFailed;
    }
    return 0;
}

RunStatus MakeMissingFolders(const char *folder)
{
    if (IsFolder(folder))
        return 0;
    if (StatusIsFailed(MakeParentFolders(folder)))
        return kStatusFailed;
    return MakeParentFolder(folder);
}
