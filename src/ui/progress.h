// The one-line progress window around a long driver operation, kept responsive by a thread of
// its own while the main thread is blocked.
#pragma once
#include <windows.h>

// show: starts the window with the text (the caller keeps the text alive until the window is
// stopped); not show: stops it and waits until its thread has ended.
void ShowProgress(bool show, const char *text);
