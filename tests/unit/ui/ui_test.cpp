// The progress window on its own thread, under the display: it stays responsive while the main
// thread is blocked. (A stop right after the start is what every device removal in the end-to-end
// rows does.)
#include <gtest/gtest.h>
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

}  // namespace
