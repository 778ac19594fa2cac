// How far a long piece of work has come, shared between the thread that does it and the progress
// window's thread, which shows it and may ask for the work to stop.
#pragma once
#include <windows.h>

struct WorkMeter {
    DWORD started;              // GetTickCount() when the work began
    LONG64 total;               // units of the whole work (bytes)
    volatile LONG64 done;       // written by the worker only
    volatile LONG cancelled;    // set by the window's Cancel button, read by the worker
};

inline void StartWorkMeter(WorkMeter *meter, LONG64 total)
{
    meter->started = GetTickCount();
    meter->total = total;
    meter->done = 0;
    meter->cancelled = 0;
}

inline bool WorkCancelled(const WorkMeter *meter)
{
    return meter != NULL && meter->cancelled != 0;
}
