// The multimedia library, bound by name for the length of one operation.
#pragma once
#include <windows.h>
#include <mmsystem.h>

struct WinmmBinding {
    HMODULE module;   // null while unloaded
    decltype(&OpenDriver) OpenDriver;
    decltype(&SendDriverMessage) SendDriverMessage;
    decltype(&CloseDriver) CloseDriver;
    decltype(&waveInGetNumDevs) waveInGetNumDevs;
    decltype(&waveOutGetNumDevs) waveOutGetNumDevs;
    decltype(&waveInGetDevCapsA) waveInGetDevCapsA;
    decltype(&waveOutGetDevCapsA) waveOutGetDevCapsA;
    decltype(&waveInMessage) waveInMessage;
    decltype(&waveOutMessage) waveOutMessage;
};

extern WinmmBinding Winmm;

// Loads winmm.dll from the system folder and resolves its nine procedures. False after a log line
// (the library cannot be loaded) or a box (a procedure is missing); a second load without an
// unload in between fails and unloads the first.
bool LoadWinmm();
void UnloadWinmm();
