// Message boxes with the run's caption; every box is logged before it is shown.
#pragma once
#include <windows.h>
#include <stdarg.h>

const UINT kCaptionSize = 128;
const UINT kMaxFormattedText = 1024;   // what wsprintfA writes at most

// The run flow names the variable that holds the product's name once it is known; until then,
// and while that variable is empty, boxes say "Setup".
void SetBoxProductName(char *const *productName);
// A program that must show no box (the script checker) takes each box's text, without line
// breaks, and gives its answer instead; null shows boxes again.
typedef int (*BoxSink)(UINT flags, const char *text);
void SetBoxSink(BoxSink sink);
void BoxCaption(char *buffer);   // kCaptionSize bytes
// A window no box may stand beside (the progress window, on a thread of its own) is sent
// kBoxNotice before each box that shows, wParam TRUE, and after it, FALSE: it hides meanwhile.
// Null: none. Any thread may register its window: true when a box shows already (no notice
// comes for it, so the window starts hidden).
const UINT kBoxNotice = WM_APP + 0x60;
bool SetWindowHiddenByBoxes(HWND window);
// silentAnswer: the button a silent run presses, without showing the box (each question has its
// own: the default button is not always the one a deployment wants).
int MsgBoxV(UINT flags, int silentAnswer, const char *format, va_list arguments);
int MsgBox(UINT flags, int silentAnswer, const char *format, ...);
void ErrorBox(const char *format, ...);
void WarningBox(const char *format, ...);
// For a call that writes a path into a MAX_PATH buffer and returns its length: true when it
// failed (0) or did not fit, after an ErrorBox with the message and the cause ("(%s)").
bool PathCallFailed(DWORD length, const char *message);
