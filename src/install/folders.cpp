#include "install/folders.h"
#include "install/copy_files.h"
#include "install/parent_folders.h"
#include "script/setup_script.h"
#include "script/variables.h"
#include "support/msgbox.h"
#include "support/tracelog.h"
#include "support/errortext.h"
#include "support/text.h"
#include "system/file_ops.h"
#include "system/journal_recorder.h"
#include <objbase.h>
#include <shlobj.h>

RunStatus MakeFolder(const char *path, bool takeExisting)
{
    RunStatus status;
    StatusInit(&status);
    if (StatusIsFailed(MakeParentFolders(path)))
        return kStatusFailed;
    if (!CreateDirectoryA(path, NULL)) {
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ErrorBox(kCannotCreateDirectory, path, LastErrorText());
            StatusSetFailed(&status);
            return status;
        }
        if (takeExisting) {
            LogLine(kLogAction, "Taking the existing directory \"%s\"", path);
        } else if (!ConfirmOverwrite("Directory", path)) {
            StatusSetFailed(&status);
            return status;
        } else {
            StatusSetWarning(&status);
        }
    }
    LogLine(kLogAction, "Created directory \"%s\"", path);
    if (!JournalAddEvent(kEventCreateDir, "\"%s\"", path))
        StatusSetFailed(&status);
    return status;
}

RunStatus MakeGroupFolder(const char *programGroup, char *groupFolder)
{
    if (!JoinPath(groupFolder, Script.StartMenuFolder, programGroup, kCannotCreateDirectory))
        return kStatusFailed;
    return MakeFolder(groupFolder);
}

RunStatus CreateLinks()
{
    RunStatus status;
    StatusInit(&status);
    char groupFolder[MAX_PATH];
    if (StatusIsFailed(StatusMerge(&status, MakeGroupFolder(Run.ProgramGroup, groupFolder))))
        return status;
    for (DWORD i = 0; i < Script.LinkCount; i++) {
        const ScriptEntry *entry = &Script.LinkList[i];
        char target[MAX_PATH];
        char arguments[MAX_PATH];
        if (!ExpandVariables(target, entry->Path, "Cannot set shortcut object path \"%s\" (%s)") ||
            !ExpandVariables(arguments, entry->Extra, "Cannot set shortcut object arguments \"%s\" (%s)") ||
            !CreateShellLink(groupFolder, entry->Name, target, arguments)) {
            StatusSetFailed(&status);
            break;
        }
    }
    return status;
}

// A failed COM call: its HRESULT becomes the last error for the box.
static bool ComFailed(HRESULT result, const char *message)
{
    if (SUCCEEDED(result))
        return false;
    SetLastError((DWORD)result);
    ErrorBox(message, LastErrorText());
    return true;
}

// The shell link's content; the caller saves it.
static bool FillShellLink(IShellLinkA *link, const char *name, const char *target, const char *arguments)
{
    char workingDir[MAX_PATH];
    // A target without a folder part gets its own text as working directory, as DirOfPath
    // leaves it; the shell ignores a working directory that does not exist.
    DirOfPath(workingDir, target);
    return !ComFailed(link->SetPath(target), "Cannot set shortcut object path (%s)") &&
           !ComFailed(link->SetArguments(arguments), "Cannot set shortcut object arguments (%s)") &&
           !ComFailed(link->SetDescription(name), "Cannot set shortcut description (%s)") &&
           !ComFailed(link->SetWorkingDirectory(workingDir), "Cannot set shortcut working directory (%s)");
}

bool CreateShellLink(const char *folder, const char *name, const char *target, const char *arguments)
{
    bool ok = false;
    IShellLinkA *link = NULL;
    IPersistFile *file = NULL;
    char linkPath[MAX_PATH];
    char fileName[kMaxFormattedText + 8];
    WCHAR widePath[MAX_PATH];
    lstrcpynA(fileName, name, kMaxFormattedText);
    lstrcatA(fileName, ".lnk");
    if (!JoinPath(linkPath, folder, fileName, "Cannot save shortcut file \"%s\" (%s)"))
        return false;
    if (ComFailed(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link),
                  "Cannot create IShellLink instance (%s)")) {
        link = NULL;
        goto done;
    }
    if (!FillShellLink(link, name, target, arguments))
        goto done;
    if (ComFailed(link->QueryInterface(IID_IPersistFile, (void **)&file), "Cannot get IPersistFile interface (%s)")) {
        file = NULL;
        goto done;
    }
    MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH);
    if (ComFailed(file->Save(widePath, TRUE), "Cannot save shortcut file (%s)"))
        goto done;
    if (!JournalAddEvent(kEventCreateFile, "\"%s\"", linkPath))
        goto done;
    LogLine(kLogAction, "Created link \"%s\" -> \"%s\"", linkPath, target);
    ok = true;
done:
    if (file != NULL)
        file->Release();
    if (link != NULL)
        link->Release();
    return ok;
}
