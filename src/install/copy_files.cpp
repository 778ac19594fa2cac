#include "install/copy_files.h"
#include "install/parent_folders.h"
#include "script/setup_script.h"
#include "script/variables.h"
#include "support/errortext.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/text.h"
#include "support/tracelog.h"
#include "system/binding.h"
#include "system/file_ops.h"
#include "system/journal_recorder.h"
#include "ui/progress.h"

const char kCannotOpenSource[] = "Cannot open \"%s\" (%s)";
const char kCannotCreateDestination[] = "Cannot create \"%s\" (%s)";
const char kAlreadyExists[] = "%s \"%s\" already exists";

bool ConfirmOverwrite(const char *kind, const char *name)
{
    if (!Run.AdvancedUser) {
        ErrorBox(kAlreadyExists, kind, name);
        return false;
    }
    LogLine(kLogAction, "%s \"%s\" already exists, asking for overwrite", kind, name);
    bool agreed = MsgBox(MB_ICONEXCLAMATION | MB_YESNO | MB_DEFBUTTON2, IDNO, "%s \"%s\" already exists.\nDo you want to overwrite it?",
                         kind, name) == IDYES;
    LogLine(kLogAction, "Overwrite %sabled", agreed ? "en" : "dis");
    return agreed;
}

// failure: the box's message, or null for none.
static bool ComposeSourcePath(const ScriptEntry *entry, char *source, const char *failure)
{
    char sourceFolder[MAX_PATH];
    if (StrFindChar(entry->Extra, ':') != NULL)
        lstrcpynA(sourceFolder, entry->Extra, MAX_PATH);
    else if (!JoinPath(sourceFolder, Run.SourceDir, entry->Extra, failure))
        return false;
    return JoinPath(source, sourceFolder, entry->Name, failure);
}

bool ComposeEntryPaths(const ScriptEntry *entry, char *source, char *destination)
{
    char joined[MAX_PATH];
    return ComposeSourcePath(entry, source, kCannotOpenSource) &&
           JoinPath(joined, entry->Path, entry->Name, kCannotCreateDestination) &&
           ExpandVariables(destination, joined, kCannotCreateDestination);
}

// Copies one entry; the failed bit when it could not be copied, the copy was cancelled or the file
// is not the one a bound program was made for.
static RunStatus CopyEntry(const ScriptEntry *entry, char *destination, WorkMeter *meter)
{
    RunStatus status;
    StatusInit(&status);
    char source[MAX_PATH];
    char folder[MAX_PATH];
    if (!ComposeEntryPaths(entry, source, destination))
        return kStatusFailed;
    if (StatusIsFailed(MakeMissingFolders(DirOfPath(folder, destination))))
        return kStatusFailed;
    bool copied = CopyBoundFile(source, destination, true, meter);
    if (!copied && GetLastError() == ERROR_FILE_EXISTS && !WorkCancelled(meter) && ConfirmOverwrite("File", destination)) {
        StatusSetWarning(&status);
        copied = CopyBoundFile(source, destination, false, meter);
    }
    if (!copied)
        StatusSetFailed(&status);
    return status;
}

static ULONGLONG FileSize(const char *path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return 0;
    return ((ULONGLONG)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

// The bytes the copy phase reads: what the progress window counts against.
static ULONGLONG SourceBytes()
{
    ULONGLONG total = 0;
    for (DWORD i = 0; i < Script.FileCount; i++) {
        char source[MAX_PATH];
        if (ComposeSourcePath(&Script.FileList[i], source, NULL))
            total += FileSize(source);
    }
    return total;
}

static RunStatus CopyAll(WorkMeter *meter)
{
    RunStatus status;
    StatusInit(&status);
    for (DWORD i = 0; i < Script.FileCount && !WorkCancelled(meter); i++) {
        char destination[MAX_PATH];
        if (StatusIsFailed(StatusMerge(&status, CopyEntry(&Script.FileList[i], destination, meter))))
            return status;
        if (!JournalAddEvent(kEventCreateFile, "\"%s\"", destination)) {
            StatusSetFailed(&status);
            return status;
        }
        Run.CopiedBytes += FileSize(destination);
    }
    return status;
}

// A copy that lasts shows its progress, with a Cancel button that fails the installation, which
// is then rolled back. Counts what it copied, for the size the list of installed programs shows.
RunStatus CopyFiles()
{
    WorkMeter meter;
    LogLine(kLogAction, "Start file copy");
    StartWorkMeter(&meter, (LONG64)SourceBytes());
    ShowMeteredProgress(&meter, "Copying files...", true);
    RunStatus status = CopyAll(&meter);
    ShowProgress(false, NULL);
    if (WorkCancelled(&meter)) {
        LogLine(kLogAction, "Copying cancelled by the user");
        StatusSetFailed(&status);
    } else if (!StatusIsFailed(status)) {
        LogLine(kLogAction, "All files successfully copied");
    }
    return status;
}
