#include "ui/progress.h"
#include "support/errortext.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/tracelog.h"
#include "ui/resource.h"

// Written by the main thread before the window's thread starts, only read by that thread: it
// logs nothing and touches no other shared state.
static struct {
    HANDLE thread;
    DWORD id;
    HANDLE ready;
    char caption[kCaptionSize];
    const char *text;
} progress;

static INT_PTR CALLBACK ProgressDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

static DWORD WINAPI ProgressThread(void *)
{
    MSG message;
    HWND dialog = CreateDialogParamA(Run.ModuleInstance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL, ProgressDialogProc, 0);
    if (dialog != NULL) {
        SetWindowTextA(dialog, progress.caption);
        SetDlgItemTextA(dialog, IDC_PROGRESS_TEXT, progress.text);
    }
    // A thread has a message queue only once it asks for one: made before the starter goes on,
    // so that a stop request however soon after the start cannot be lost.
    PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE);
    SetEvent(progress.ready);
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        if (dialog == NULL || !IsDialogMessageA(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    if (dialog != NULL)
        DestroyWindow(dialog);
    return 0;
}

static void StopProgress()
{
    if (progress.thread == NULL)
        return;
    PostThreadMessageA(progress.id, WM_QUIT, 0, 0);
    WaitForSingleObject(progress.thread, INFINITE);
    CloseHandle(progress.thread);
    progress.thread = NULL;
    progress.id = 0;
}

static void StartProgress(const char *text)
{
    BoxCaption(progress.caption);
    progress.text = text;
    progress.ready = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (progress.ready != NULL)
        progress.thread = CreateThread(NULL, 0, ProgressThread, NULL, 0, &progress.id);
    if (progress.thread == NULL) {
        LogLine(kLogError, "Cannot create thread (%s)", LastErrorText());
    } else {
        LogLine(kLogAction, "%s", text);
        HANDLE started[2] = { progress.ready, progress.thread };
        WaitForMultipleObjects(2, started, FALSE, INFINITE);
    }
    if (progress.ready != NULL)
        CloseHandle(progress.ready);
    progress.ready = NULL;
}

void ShowProgress(bool show, const char *text)
{
    StopProgress();   // at most one window at a time
    if (show && Run.Silent)
        LogLine(kLogAction, "%s", text);   // no window in a silent run
    else if (show)
        StartProgress(text);
}
