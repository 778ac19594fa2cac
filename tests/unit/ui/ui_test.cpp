// The progress window on its own thread, under the display: it stays responsive while the main
// thread is blocked. (A stop right after the start is what every device removal in the end-to-end
// rows does.)
#include <gtest/gtest.h>
#include <vector>
#include "../common/log_capture.h"
#include "support/runstate.h"
#include "ui/progress.h"
#include "ui/resource.h"

namespace {

HWND FindProgressWindow()
{
    HWND found = NULL;
    EnumWindows([](HWND window, LPARAM found) -> BOOL {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        bool ours = pid == GetCurrentProcessId() && GetDlgItem(window, IDC_PROGRESS_TEXT) != NULL;
        *(HWND *)found = ours ? window : *(HWND *)found;
        return !ours;
    }, (LPARAM)&found);
    return found;
}

// The end-to-end tests read its caption and text while a driver keeps the main thread busy.
TEST(Progress, ResponsiveWhileTheMainThreadIsBlocked)
{
    LogCapture log;
    ::Run.ModuleInstance = GetModuleHandleA(NULL);
    ShowProgress(true, "Installing Demo device driver...");
    HWND window = FindProgressWindow();
    ASSERT_NE(window, nullptr);
    for (int i = 0; i < 5; i++) {   // this thread pumps nothing; the window's own thread answers
        DWORD_PTR result = 0;
        EXPECT_TRUE(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result));
        Sleep(100);
    }
    ShowProgress(false, NULL);
    EXPECT_FALSE(IsWindow(window));
}

INT_PTR CALLBACK IdleDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// A screen reader names a field from the static text right before it in the template, which is
// the order of the dialog's children: each field's label comes first.
TEST(Dialogs, EachFieldFollowsItsLabel)
{
    const struct { int dialog; std::vector<std::pair<int, const char *>> fields; } kDialogs[] = {
        { IDD_LICENSE, { { IDC_LICENSE_TEXT, "Please read the license agreement:" } } },
        { IDD_INSTALL_OPTIONS, { { IDC_INSTALL_DIR, "Installation folder name" }, { IDC_PROGRAM_GROUP, "Start Menu folder name" } } },
    };
    for (const auto &d : kDialogs) {
        HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(d.dialog), NULL, IdleDialogProc, 0);
        ASSERT_NE(dialog, nullptr) << d.dialog;
        for (const auto &field : d.fields) {
            HWND before = GetWindow(GetDlgItem(dialog, field.first), GW_HWNDPREV);
            char label[64] = "", kind[16] = "";
            GetWindowTextA(before, label, sizeof label);
            GetClassNameA(before, kind, sizeof kind);
            EXPECT_STREQ(kind, "Static") << field.first;
            EXPECT_STREQ(label, field.second) << field.first;
        }
        DestroyWindow(dialog);
    }
}

}  // namespace
