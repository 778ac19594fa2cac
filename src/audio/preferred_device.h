// The wave devices preferred before a new audio device arrives, made the user's recorded choice;
// and whether the kernel-streaming audio stack is there. Both are best effort: the trace log
// tells what went wrong, the installation goes on.
#pragma once
#include <windows.h>

enum WaveDirection { kWaveIn, kWaveOut };
const UINT kWaveDeviceNameSize = 32;

void SetPreferredDeviceExplicitly();
// name: kWaveDeviceNameSize bytes. Needs the multimedia binding loaded.
bool GetPreferredWaveDevice(WaveDirection direction, char *name);
// Writes Playback or Record under HKCU\...\Sound Mapper unless a choice is recorded there.
bool StoreSoundMapperDevice(WaveDirection direction, const char *name);
bool IsKernelStreamingPresent();
