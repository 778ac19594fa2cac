#include "ui/dialogs.h"
#include "ui/resource.h"
#include "system/file_ops.h"
#include "script/setup_script.h"
#include "script/variables.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/tracelog.h"
#include "system/binding.h"
#include "system/work_folder.h"
#include "support/encoding.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/text.h"
#include <shellapi.h>

char HelpPath[MAX_PATH];

static const char kWarning[] =
    "Important!\nMake sure you have UNINSTALLED any previous version of this product. If you forgot "
    "to uninstall it, exit the installation process, uninstall a previous version, and start the "
    "installation again. Violation of this rule can cause significant troubles.";
const COLORREF kWarningBackground = RGB(255, 0, 0);
const COLORREF kWarningTextColour = RGB(0, 0, 0);

static HBRUSH warningBrush;
static struct {
    const char *notice;
    const char *folder;
} proposal;

static void SetDialogCaption(HWND dialog)
{
    char caption[kCaptionSize];
    BoxCaption(caption);
    SetWindowTextA(dialog, caption);
}

static bool InitLicenseDialog(HWND dialog)
{
    SetDialogCaption(dialog);
    char path[MAX_PATH];
    if (!JoinPath(path, Run.SourceDir, Script.LicenseFile, kCannotOpenFile))
        return false;
    DWORD size = 0, badLine = 0;
    char *bytes = LoadFile(path, Script.LicenseFile, &size);
    // A program made for one product shows its own license only.
    if (bytes == NULL || !CheckBoundBytes(path, bytes, size)) {
        MemFree(bytes);
        return false;
    }
    // A text saved in UTF-8 or UTF-16 shows in the code page; a letter it lacks as its nearest.
    char *text = TextToAnsi(bytes, size, false, NULL, &badLine);
    bool ok = SetDlgItemTextA(dialog, IDC_LICENSE_TEXT, text) != FALSE;
    MemFree(text);
    MemFree(bytes);
    return ok;
}

static INT_PTR CALLBACK LicenseDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        if (!InitLicenseDialog(dialog)) {
            ErrorBox("Cannot init dialog");
            EndDialog(dialog, 0);
        }
        SetFocus(GetDlgItem(dialog, IDCANCEL));
        return FALSE;   // the focus is set: the system must not move it
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndDialog(dialog, 1);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            Run.UserQuit = true;
            EndDialog(dialog, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// Sets one edit field to a [Main] value with its variables expanded.
static bool SetExpandedText(HWND dialog, int control, const char *value)
{
    char expanded[MAX_PATH];
    return ExpandVariables(expanded, value, "Cannot show the folder \"%s\" (%s)") &&
           SetDlgItemTextA(dialog, control, expanded) != FALSE;
}

static void FindHelpFile(HWND dialog)
{
    HelpPath[0] = '\0';
    if (Script.HelpFile == NULL)
        return;
    char path[MAX_PATH];
    if (!JoinPath(path, Run.SourceDir, Script.HelpFile) || !FileExists(path))
        return;
    lstrcpyA(HelpPath, path);
    LogLine(kLogAction, "Having help file \"%s\"", HelpPath);
    ShowWindow(GetDlgItem(dialog, IDC_HELP_BUTTON), SW_SHOW);
}

static bool InitInstallOptionsDialog(HWND dialog)
{
    SetDialogCaption(dialog);
    if (!SetDlgItemTextA(dialog, IDC_WARNING, proposal.notice != NULL ? proposal.notice : kWarning))
        return false;
    warningBrush = CreateSolidBrush(kWarningBackground);
    if (warningBrush == NULL) {
        LogLine(kLogError, "Cannot create brush");
        return false;
    }
    if (!SetExpandedText(dialog, IDC_INSTALL_DIR, proposal.folder != NULL ? proposal.folder : Script.DefaultInstallDir) ||
        !SetExpandedText(dialog, IDC_PROGRAM_GROUP, Script.DefaultProgramGroup))
        return false;
    FindHelpFile(dialog);
    return true;
}

static void CloseInstallOptionsDialog(HWND dialog, INT_PTR result)
{
    if (warningBrush != NULL) {
        DeleteObject(warningBrush);
        warningBrush = NULL;
    }
    EndDialog(dialog, result);
}

static void TakeInstallOptions(HWND dialog)
{
    char text[MAX_PATH];
    GetDlgItemTextA(dialog, IDC_INSTALL_DIR, text, MAX_PATH);
    Run.InstallDir = StrDup(text);
    GetDlgItemTextA(dialog, IDC_PROGRAM_GROUP, text, MAX_PATH);
    Run.ProgramGroup = StrDup(text);
    Run.AdvancedUser = IsDlgButtonChecked(dialog, IDC_ADVANCED_USER) == BST_CHECKED;
}

// A bound program opens the help file from a copy in the work folder that it checked as it
// copied it (once: the viewer may hold it open): the viewer runs with the program's rights.
static void OpenHelpFile()
{
    char stream[MAX_PATH + 32], copy[MAX_PATH];
    const char *path = HelpPath;
    const char *work = IsBound() ? WorkFolder() : NULL;
    if (IsBound()) {
        if (work == NULL || !JoinPath(copy, work, StrFindLastChar(HelpPath, '\\') + 1, "Cannot create \"%s\" (%s)"))
            return;
        if (GetFileAttributesA(copy) == INVALID_FILE_ATTRIBUTES && !CopyBoundFile(HelpPath, copy, true)) {
            DeleteFileA(copy);   // a half-written copy is never opened later
            return;
        }
        path = copy;
    }
    // A downloaded help file would otherwise open with a security warning, or not at all.
    wsprintfA(stream, "%s:Zone.Identifier:$DATA", path);
    if (!DeleteFileA(stream) && GetLastError() != ERROR_FILE_NOT_FOUND)
        LogLine(kLogError, "Cannot delete zone stream (%s)", LastErrorText());
    LogLine(kLogAction, "Invoking help file \"%s\"", path);
    ShellExecuteA(NULL, NULL, path, NULL, NULL, SW_SHOW);
}

static INT_PTR CALLBACK InstallOptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        if (!InitInstallOptionsDialog(dialog)) {
            ErrorBox("Cannot init dialog");
            CloseInstallOptionsDialog(dialog, 0);
        }
        return TRUE;
    case WM_CTLCOLORSTATIC:
        if ((HWND)lParam == GetDlgItem(dialog, IDC_WARNING) && warningBrush != NULL) {
            SetBkColor((HDC)wParam, kWarningBackground);
            SetTextColor((HDC)wParam, kWarningTextColour);
            return (INT_PTR)warningBrush;
        }
        break;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            TakeInstallOptions(dialog);
            CloseInstallOptionsDialog(dialog, 1);
            return TRUE;
        case IDCANCEL:
            Run.UserQuit = true;
            CloseInstallOptionsDialog(dialog, 0);
            return TRUE;
        case IDC_HELP_BUTTON:
            OpenHelpFile();
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// A dialog that cannot be created at all counts as a failure, not as an answer.
static bool RunDialog(int templateId, DLGPROC procedure)
{
    INT_PTR result = DialogBoxParamA(Run.ModuleInstance, MAKEINTRESOURCEA(templateId), NULL, procedure, 0);
    if (result == -1) {
        ErrorBox("Cannot init dialog");
        return false;
    }
    return result != 0;
}

bool ShowLicenseDialog()
{
    LogLine(kLogAction, "Displaying license agreement");
    bool accepted = RunDialog(IDD_LICENSE, LicenseDialogProc);
    LogLine(kLogAction, "License agreement %sted", accepted ? "accep" : "rejec");
    return accepted;
}

bool ShowInstallOptionsDialog(const char *notice, const char *proposedFolder)
{
    proposal.notice = notice;
    proposal.folder = proposedFolder;
    LogLine(kLogAction, "Displaying directory selection dialog");
    bool confirmed = RunDialog(IDD_INSTALL_OPTIONS, InstallOptionsDialogProc);
    LogLine(kLogAction, "Directory selection %sed", confirmed ? "succeed" : "abort");
    return confirmed;
}
