#include "ui/progress.h"
#include "support/errortext.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/tracelog.h"
#include "ui/resource.h"

const UINT_PTR kRefreshTimer = 1;
const UINT kRefreshMs = 200;
const int kButtonRowDlu = 20;   // the Cancel button's row below the text

// Written by the main thread before the window's thread starts, only read by the window's thread:
// it logs nothing and touches no other shared state but the meter and the box notices.
static struct {
    HANDLE thread;
    HANDLE stop;         // set by the main thread: the window ends
    HANDLE ready;        // a window shown at once exists (or could not be made)
    char caption[kCaptionSize];
    const char *text;    // the whole text, or the label of measured work
    WorkMeter *meter;    // null: the text as it is, shown at once
    bool cancellable;
} progress;

// The window's thread's own: whether the window has appeared, and whether a box hides it.
static bool shown;
static bool paused;
static UINT shownPercent;

static UINT Percent(const WorkMeter *meter)
{
    LONG64 done = meter->done;
    if (meter->total <= 0 || done >= meter->total)
        return meter->total <= 0 ? 0 : 100;
    return (UINT)(done * 100 / meter->total);
}

static void ShowPercent(HWND dialog, bool always)
{
    char text[kCaptionSize + 16];
    UINT percent = Percent(progress.meter);
    if (percent == shownPercent && !always)
        return;
    shownPercent = percent;
    wsprintfA(text, "%s %u %%", progress.text, percent);   // the labels are this program's own, short
    SetDlgItemTextA(dialog, IDC_PROGRESS_TEXT, text);
}

// Measured work gets its window once it has lasted long enough, unless a box shows.
static void Refresh(HWND dialog)
{
    if (progress.meter == NULL)
        return;
    if (!shown && !paused && GetTickCount() - progress.meter->started >= kProgressDelayMs) {
        ShowPercent(dialog, true);
        ShowWindow(dialog, SW_SHOW);
        shown = true;
    } else if (shown) {
        ShowPercent(dialog, false);
    }
}

static INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_TIMER:
        Refresh(dialog);
        return TRUE;
    case kBoxNotice:
        paused = wParam != FALSE;
        if (paused)
            ShowWindow(dialog, SW_HIDE);
        else if (shown)
            ShowWindow(dialog, SW_SHOW);
        else
            Refresh(dialog);
        return TRUE;
    case WM_COMMAND:
        // The button, or Esc; the driver's window has no way out.
        if (LOWORD(wParam) == IDCANCEL && progress.cancellable) {
            InterlockedExchange(&progress.meter->cancelled, 1);
            EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
        }
        return TRUE;
    }
    return FALSE;
}

// The template's Cancel button lies below its height: the window grows by its row, about its
// centre.
static void AddCancelButton(HWND dialog)
{
    RECT row = { 0, 0, 0, kButtonRowDlu };
    RECT frame;
    MapDialogRect(dialog, &row);
    GetWindowRect(dialog, &frame);
    SetWindowPos(dialog, NULL, frame.left, frame.top - row.bottom / 2, frame.right - frame.left,
                 frame.bottom - frame.top + row.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(GetDlgItem(dialog, IDCANCEL), SW_SHOW);
}

static HWND MakeWindow()
{
    HWND dialog = CreateDialogParamA(Run.ModuleInstance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL, ProgressDialogProc, 0);
    if (dialog == NULL)
        return NULL;
    SetWindowTextA(dialog, progress.caption);
    paused = SetWindowHiddenByBoxes(dialog);
    if (progress.meter == NULL) {
        SetDlgItemTextA(dialog, IDC_PROGRESS_TEXT, progress.text);
        if (!paused)
            ShowWindow(dialog, SW_SHOW);
        shown = true;
    } else {
        if (progress.cancellable)
            AddCancelButton(dialog);
        SetTimer(dialog, kRefreshTimer, kRefreshMs, NULL);
        Refresh(dialog);
    }
    return dialog;
}

// Measured work that ends within its delay never makes a window: the thread only waits.
static DWORD WINAPI ProgressThread(void *)
{
    MSG message;
    HWND dialog = NULL;
    shown = false;
    paused = false;
    DWORD wait = 0;
    if (progress.meter != NULL) {
        DWORD lasted = GetTickCount() - progress.meter->started;
        wait = lasted < kProgressDelayMs ? kProgressDelayMs - lasted : 0;
    }
    if (WaitForSingleObject(progress.stop, wait) != WAIT_TIMEOUT)
        return 0;
    dialog = MakeWindow();
    if (progress.ready != NULL)
        SetEvent(progress.ready);
    // The stop is an event, not a message: it cannot be lost before the thread has a queue.
    while (MsgWaitForMultipleObjects(1, &progress.stop, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            if (dialog == NULL || !IsDialogMessageA(dialog, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
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
    SetEvent(progress.stop);
    WaitForSingleObject(progress.thread, INFINITE);
    SetWindowHiddenByBoxes(NULL);
    CloseHandle(progress.thread);
    CloseHandle(progress.stop);
    progress.thread = NULL;
    progress.stop = NULL;
}

// A window shown at once exists when this returns; measured work's is made by its thread later.
static void StartProgress(const char *text, WorkMeter *meter, bool cancellable)
{
    BoxCaption(progress.caption);
    progress.text = text;
    progress.meter = meter;
    progress.cancellable = cancellable && meter != NULL;
    progress.stop = CreateEventA(NULL, TRUE, FALSE, NULL);
    progress.ready = meter == NULL ? CreateEventA(NULL, TRUE, FALSE, NULL) : NULL;
    if (progress.stop != NULL && (meter != NULL || progress.ready != NULL))
        progress.thread = CreateThread(NULL, 0, ProgressThread, NULL, 0, NULL);
    if (progress.thread == NULL) {
        LogLine(kLogError, "Cannot create thread (%s)", LastErrorText());
        if (progress.stop != NULL)
            CloseHandle(progress.stop);
        progress.stop = NULL;
    } else if (progress.ready != NULL) {
        HANDLE started[2] = { progress.ready, progress.thread };
        WaitForMultipleObjects(2, started, FALSE, INFINITE);
    }
    if (meter == NULL)
        LogLine(kLogAction, "%s", text);
    if (progress.ready != NULL)
        CloseHandle(progress.ready);
    progress.ready = NULL;
}

// At most one window at a time; none in a silent run, whose log has the text.
void ShowProgress(bool show, const char *text)
{
    StopProgress();
    if (show && Run.Silent)
        LogLine(kLogAction, "%s", text);
    else if (show)
        StartProgress(text, NULL, false);
}

// Measured work logs its own steps.
void ShowMeteredProgress(WorkMeter *meter, const char *label, bool cancellable)
{
    StopProgress();
    if (!Run.Silent)
        StartProgress(label, meter, cancellable);
}
