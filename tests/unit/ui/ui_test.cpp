// The progress window on its own thread, under the display: it stays responsive while the main
// thread is blocked, and a stop right after the start never hangs.
#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "support/runstate.h"
#include "ui/progress.h"
#include "ui/resource.h"

namespace {

HWND FindProgressWindow()
{
    struct Search { HWND found; } search = { NULL };
    EnumWindows([](HWND window, LPARAM found) -> BOOL {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid != GetCurrentProcessId() || GetDlgItem(window, IDC_PROGRESS_TEXT) == NULL)
            return TRUE;
        *(HWND *)found = window;
        return FALSE;
    }, (LPARAM)&search.found);
    return search.found;
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

TEST(Progress, StopRightAfterTheStartNeverHangs)
{
    LogCapture log;
    ::Run.ModuleInstance = GetModuleHandleA(NULL);
    ShowProgress(false, NULL);   // nothing to stop
    DWORD start = GetTickCount();
    for (int i = 0; i < 300; i++) {
        ShowProgress(true, "Removing device \"ROOT\\MEDIA\\0000\"...");
        ShowProgress(false, NULL);
    }
    EXPECT_LT(GetTickCount() - start, 60000u);
    EXPECT_EQ(FindProgressWindow(), nullptr);
    EXPECT_EQ(log.Lines().size(), 300u);
}

}  // namespace
