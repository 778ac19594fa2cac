#include "install/upgrade.h"
#include "script/setup_script.h"
#include "script/variables.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/text.h"
#include "support/tracelog.h"
#include "system/file_ops.h"
#include "system/journal_recorder.h"
#include "uninstall/journal_replay.h"
#include <aclapi.h>

static const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const UINT kNoticeSize = kMaxFormattedText;   // the text, a name and a folder

static struct {
    char folder[MAX_PATH];   // empty while none is found
    char name[MAX_PATH];     // the entry's name, or the product's where no entry names it
    char entryFolder[MAX_PATH];
    char entryName[MAX_PATH];
    bool trusted;
    char notice[kNoticeSize];
} earlier;

// Whether the folder holds a journal whose AppName is this product's (quietly: most folders do not).
static bool HoldsOurJournal(const char *folder)
{
    char path[MAX_PATH];
    char line[kJournalLineSize];
    char name[kJournalLineSize];
    bool ours = false;
    if (!JoinPath(path, folder, kJournalFileName))
        return false;
    char *journal = ReadWholeFile(path, NULL);
    if (journal != NULL && FindJournalEvent(line, journal, kEventAppName) != NULL && GetToken(line, name, kJournalLineSize) != NULL)
        ours = lstrcmpA(name, Script.AppName) == 0;
    MemFree(journal);
    return ours;
}

// The folder an entry's program lies in: its InstallLocation, or the folder of its DisplayIcon.
static bool EntryFolder(HKEY entry, char *folder)
{
    char value[MAX_PATH];
    DWORD size = sizeof value;
    if (RegGetValueA(entry, NULL, "InstallLocation", RRF_RT_REG_SZ, NULL, value, &size) == ERROR_SUCCESS && value[0] != '\0') {
        lstrcpyA(folder, value);
        return true;
    }
    size = sizeof value;
    if (RegGetValueA(entry, NULL, "DisplayIcon", RRF_RT_REG_SZ, NULL, value, &size) != ERROR_SUCCESS)
        return false;
    DirOfPath(folder, value);
    return folder[0] != '\0';
}

// The entries of the list of installed programs, each by the journal in its folder: a product is
// known by its journal's AppName, never by a prefix of an entry's name ("Demo" is not "Demo Audio").
static void FindEntry()
{
    HKEY list = NULL;
    char name[MAX_PATH];
    earlier.entryFolder[0] = '\0';
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &list) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0; earlier.entryFolder[0] == '\0'; index++) {
        DWORD length = MAX_PATH;
        HKEY entry = NULL;
        char folder[MAX_PATH];
        if (RegEnumKeyExA(list, index, name, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        if (RegOpenKeyExA(list, name, 0, KEY_READ, &entry) != ERROR_SUCCESS)
            continue;
        if (EntryFolder(entry, folder) && HoldsOurJournal(folder)) {
            DWORD size = sizeof earlier.entryName;
            if (RegGetValueA(entry, NULL, "DisplayName", RRF_RT_REG_SZ, NULL, earlier.entryName, &size) != ERROR_SUCCESS)
                lstrcpyA(earlier.entryName, name);
            lstrcpyA(earlier.entryFolder, folder);
        }
        RegCloseKey(entry);
    }
    RegCloseKey(list);
}

// Administrators, the system, a service and this (elevated) user may write; anyone else may not.
static bool IsTrustedWriter(PSID sid, PSID me)
{
    static const WELL_KNOWN_SID_TYPE kTrusted[] = { WinLocalSystemSid, WinBuiltinAdministratorsSid };
    static const BYTE kNtAuthority[6] = SECURITY_NT_AUTHORITY;
    if (me != NULL && EqualSid(sid, me))
        return true;
    for (WELL_KNOWN_SID_TYPE type : kTrusted) {
        BYTE trusted[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof trusted;
        if (CreateWellKnownSid(type, NULL, trusted, &size) && EqualSid(sid, trusted))
            return true;
    }
    const BYTE *authority = GetSidIdentifierAuthority(sid)->Value;
    for (int i = 0; i < 6; i++) {
        if (authority[i] != kNtAuthority[i])
            return false;
    }
    return *GetSidSubAuthorityCount(sid) > 0 && *GetSidSubAuthority(sid, 0) == SECURITY_SERVICE_ID_BASE_RID;
}

// Whether only administrators, the system, services and the user running this program (with
// administrator rights) may change the file or folder: an entry that lets anyone else write to
// it, add to it, delete it or change its access list or owner makes it untrusted. An entry for
// what is made inside only (inherit-only) does not count.
static bool OnlyAdministratorsWrite(const char *path)
{
    const DWORD kWriting = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD |
                           DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    PACL acl = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    HANDLE token = NULL;
    BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    PSID me = NULL;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        if (GetTokenInformation(token, TokenUser, user, sizeof user, &size))
            me = ((TOKEN_USER *)user)->User.Sid;
        CloseHandle(token);
    }
    if (GetNamedSecurityInfoA(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, NULL, NULL, &acl, NULL, &descriptor) != ERROR_SUCCESS)
        return false;
    bool only = acl != NULL;   // no access list lets everyone in
    for (DWORD i = 0; only && i < acl->AceCount; i++) {
        ACCESS_ALLOWED_ACE *ace;
        if (GetAce(acl, i, (void **)&ace) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && (ace->Mask & kWriting) != 0 &&
            (ace->Header.AceFlags & INHERIT_ONLY_ACE) == 0)
            only = IsTrustedWriter(&ace->SidStart, me);
    }
    LocalFree(descriptor);
    return only;
}

static void ComposeNotice()
{
    wsprintfA(earlier.notice, "Important!\n%s is installed in \"%s\". It is removed before this version is installed; "
              "files you added to its folder stay there.", earlier.name, earlier.folder);
}

bool FindEarlierVersion(const char *chosenFolder)
{
    earlier.folder[0] = '\0';
    FindEntry();
    if (chosenFolder != NULL && HoldsOurJournal(chosenFolder)) {
        bool named = lstrcmpiA(chosenFolder, earlier.entryFolder) == 0;
        lstrcpynA(earlier.folder, chosenFolder, MAX_PATH);
        lstrcpyA(earlier.name, named ? earlier.entryName : Script.AppName);
    } else if (earlier.entryFolder[0] != '\0') {
        lstrcpyA(earlier.folder, earlier.entryFolder);
        lstrcpyA(earlier.name, earlier.entryName);
    }
    if (earlier.folder[0] == '\0')
        return false;
    // Another product's entry may name a folder users can change, where anyone could leave a
    // journal with this product's name: the folder and the journal are what is trusted.
    char journal[MAX_PATH];
    earlier.trusted = OnlyAdministratorsWrite(earlier.folder) && JoinPath(journal, earlier.folder, kJournalFileName) &&
                      OnlyAdministratorsWrite(journal);
    LogLine(kLogSetting, "Earlier version \"%s\" in \"%s\"", earlier.name, earlier.folder);
    ComposeNotice();
    return true;
}

const char *EarlierVersionFolder()
{
    return earlier.folder[0] != '\0' ? earlier.folder : NULL;
}

const char *EarlierVersionNotice()
{
    return earlier.folder[0] != '\0' ? earlier.notice : NULL;
}

bool IsEarlierVersionFolder(const char *folder)
{
    return earlier.folder[0] != '\0' && lstrcmpiA(folder, earlier.folder) == 0;
}

static bool AgreesToRemove()
{
    bool agreed = MsgBox(MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2, IDYES,
                         "%s is installed in \"%s\".\nIt will be removed before %s %s is installed; files you added to its "
                         "folder stay there.\n\nDo you want to continue?", earlier.name, earlier.folder, Script.AppName,
                         Script.AppVersion) == IDYES;
    LogLine(kLogAction, "Removal of the earlier version %s", agreed ? "allowed" : "rejected");
    if (!agreed)
        Run.UserQuit = true;
    return agreed;
}

// Both phases, in this process: it runs from elsewhere, so the earlier copy of the program goes too.
static RunStatus ReplayEarlierJournal()
{
    char path[MAX_PATH];
    RunStatus status = kStatusFailed;
    if (!JoinPath(path, earlier.folder, kJournalFileName, kCannotOpenFile))
        return status;
    char *journal = LoadFile(path, path, NULL);
    if (journal == NULL)
        return status;
    if (!JournalRightsGranted(journal)) {
        Run.UserQuit = true;
        status = 0;
    } else {
        LogLine(kLogAction, "Removing the earlier version in \"%s\"", earlier.folder);
        status = ReplayInPhases(journal, true);
    }
    MemFree(journal);
    return status;
}

RunStatus RemoveEarlierVersion()
{
    if (!earlier.trusted) {
        ErrorBox("Cannot remove %s from \"%s\": users other than administrators may change that folder, so its "
                 "uninstall journal cannot be trusted.\nUninstall it with its own uninstaller, or choose another folder.",
                 earlier.name, earlier.folder);
        return kStatusFailed;
    }
    if (!AgreesToRemove())
        return 0;
    RunStatus status = ReplayEarlierJournal();
    if (StatusIsFailed(status) || Run.UserQuit)
        return status;
    Run.RemovedEarlierVersion = StrDup(earlier.name);
    if (Run.RestartNeeded) {
        ErrorBox("%s could not be removed completely: some of its files are in use until Windows restarts.\n"
                 "Restart Windows, then run this installation again.", earlier.name);
        StatusSetFailed(&status);
    }
    return status;
}
