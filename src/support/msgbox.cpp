#include "support/msgbox.h"
#include "support/errortext.h"
#include "support/runstate.h"
#include "support/text.h"
#include "support/tracelog.h"

static char *const *boxProductName;
static BoxSink boxSink;
// Written by two threads: the progress window's registers itself once it exists, and reads
// boxesShowing to start hidden; the main thread shows boxes and reads the window. Interlocked, so
// that of a window appearing and a box appearing at once, at least one sees the other.
static HWND volatile hiddenByBoxes;
static volatile LONG boxesShowing;

void SetBoxProductName(char *const *productName)
{
    boxProductName = productName;
}

void SetBoxSink(BoxSink sink)
{
    boxSink = sink;
}

bool SetWindowHiddenByBoxes(HWND window)
{
    InterlockedExchangePointer((void *volatile *)&hiddenByBoxes, window);
    return InterlockedCompareExchange(&boxesShowing, 0, 0) != 0;
}

static void NotifyHiddenWindow(bool boxShows)
{
    HWND window = (HWND)InterlockedCompareExchangePointer((void *volatile *)&hiddenByBoxes, NULL, NULL);
    if (window != NULL)
        SendMessageA(window, kBoxNotice, boxShows, 0);
}

// The window's thread pumps its messages and waits for nothing: each notice is one message.
static int ShowBox(const char *text, const char *caption, UINT flags)
{
    InterlockedIncrement(&boxesShowing);
    NotifyHiddenWindow(true);
    int answer = MessageBoxA(GetDesktopWindow(), text, caption, flags);
    InterlockedDecrement(&boxesShowing);
    NotifyHiddenWindow(false);
    return answer;
}

void BoxCaption(char *buffer)
{
    const char *appName = boxProductName != NULL ? *boxProductName : NULL;
    if (appName == NULL || appName[0] == '\0') {
        lstrcpyA(buffer, "Setup");
        return;
    }
    const char *mode = Run.InstallMode ? " installation" : " uninstallation";
    // A long product name is cut so that the mode still fits.
    int room = (int)kCaptionSize - lstrlenA(mode);
    StrCopyCut(buffer, appName, room);
    lstrcatA(buffer, mode);
}

int MsgBoxV(UINT flags, int silentAnswer, const char *format, va_list arguments)
{
    DWORD savedError = GetLastError();
    char caption[kCaptionSize];
    char text[kMaxFormattedText];
    char logCopy[kMaxFormattedText];
    BoxCaption(caption);
    wvsprintfA(text, format, arguments);
    lstrcpyA(logCopy, text);
    for (char *c = logCopy; *c != '\0'; c++) {
        if (*c == '\n')
            *c = ' ';
    }
    UINT icon = flags & MB_ICONMASK;
    DWORD level = (icon == MB_ICONHAND || icon == MB_ICONEXCLAMATION) ? kLogError : kLogAction;
    LogLine(level, "MessageBox: %s", logCopy);
    int answer;
    if (boxSink != NULL) {
        answer = boxSink(flags, logCopy);
    } else if (Run.Silent) {
        answer = silentAnswer;
        LogLine(kLogAction, "Answered %u without showing the box", (UINT)answer);
    } else {
        answer = ShowBox(text, caption, flags);
    }
    SetLastError(savedError);
    return answer;
}

int MsgBox(UINT flags, int silentAnswer, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int answer = MsgBoxV(flags, silentAnswer, format, arguments);
    va_end(arguments);
    return answer;
}

void ErrorBox(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    MsgBoxV(MB_ICONHAND, IDOK, format, arguments);
    va_end(arguments);
}

void WarningBox(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    MsgBoxV(MB_ICONEXCLAMATION, IDOK, format, arguments);
    va_end(arguments);
}

bool PathCallFailed(DWORD length, const char *message)
{
    if (length != 0 && length < MAX_PATH)
        return false;
    if (length != 0)
        SetLastError(ERROR_BUFFER_OVERFLOW);   // the call itself succeeded: the buffer was short
    ErrorBox(message, LastErrorText());
    return true;
}
