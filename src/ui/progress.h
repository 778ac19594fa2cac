// The one-line progress window: around a long driver operation, and while files are copied or
// removed. A thread of its own keeps it responsive while the main thread is blocked; no box
// stands beside it (it hides while one shows); a silent run shows none.
#pragma once
#include <windows.h>
#include "support/work_meter.h"

const DWORD kProgressDelayMs = 500;   // measured work shorter than this shows no window

// show: starts the window with the text at once (the caller keeps the text alive until the
// window is stopped); not show: stops it and waits until its thread has ended.
void ShowProgress(bool show, const char *text);
// Starts the window for measured work: it appears once the work has lasted kProgressDelayMs
// since meter->started, reads "<label> NN %" of meter->done, updated in place a few times a
// second, and with cancellable has a Cancel button that sets meter->cancelled. The worker only
// writes the meter; ShowProgress(false, NULL) stops the window.
void ShowMeteredProgress(WorkMeter *meter, const char *label, bool cancellable);
