// The progress window on its own thread, under the display: it stays responsive while the main
// thread is blocked; for measured work it makes no window before its delay, counts, hides beside
// a box and cancels. (A stop right after the start is what every device removal in the end-to-end rows does.)
#include <gtest/gtest.h>
#include <vector>
#include "../common/log_capture.h"
#include "support/msgbox.h"
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

std::string ControlText(HWND window, int id)
{
    char text[128] = "";
    GetDlgItemTextA(window, id, text, sizeof text);
    return text;
}

// The main thread only writes the meter; the window shows it a few times a second.
TEST(Progress, MeasuredWorkWaitsForItsDelayCountsHidesAndCancels)
{
    LogCapture log;
    ::Run.ModuleInstance = GetModuleHandleA(NULL);
    for (bool cancellable : { true, false }) {
        SCOPED_TRACE(cancellable ? "copy" : "removal");
        WorkMeter meter;
        StartWorkMeter(&meter, 1000);
        ShowMeteredProgress(&meter, cancellable ? "Copying files..." : "Removing files...", cancellable);
        EXPECT_EQ(FindProgressWindow(), nullptr) << "no window, not even a hidden one, before its delay";
        meter.done = 370;
        Sleep(kProgressDelayMs + 400);
        HWND window = FindProgressWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(ControlText(window, IDC_PROGRESS_TEXT), cancellable ? "Copying files... 37 %" : "Removing files... 37 %");
        EXPECT_EQ(IsWindowVisible(GetDlgItem(window, IDCANCEL)) != FALSE, cancellable);
        SendMessageA(window, kBoxNotice, TRUE, 0);
        EXPECT_FALSE(IsWindowVisible(window)) << "while a box shows";
        meter.done = 1000;
        SendMessageA(window, kBoxNotice, FALSE, 0);
        EXPECT_TRUE(IsWindowVisible(window)) << "after the box";
        Sleep(400);
        EXPECT_EQ(ControlText(window, IDC_PROGRESS_TEXT), cancellable ? "Copying files... 100 %" : "Removing files... 100 %");
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        Sleep(200);
        EXPECT_EQ(meter.cancelled, cancellable ? 1 : 0);
        ShowProgress(false, NULL);
        EXPECT_FALSE(IsWindow(window));
    }
}

// The icon's images are PNG: Windows (and Wine) draw each size from them.
TEST(Icon, EverySizeLoads)
{
    for (int size : { 16, 32, 48, 256 }) {
        HICON icon = (HICON)LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_SETUP), IMAGE_ICON, size, size, 0);
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info = {};
        BITMAP bitmap = {};
        EXPECT_TRUE(GetIconInfo(icon, &info)) << size;
        GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
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
