#include "audio/winmm_binding.h"
#include "support/msgbox.h"
#include "support/tracelog.h"
#include "system/library.h"

WinmmBinding Winmm;

static const char kWinmm[] = "winmm.dll";

static const ProcedureSlot kWinmmProcedures[] = {
    { "OpenDriver", (FARPROC *)&Winmm.OpenDriver },
    { "SendDriverMessage", (FARPROC *)&Winmm.SendDriverMessage },
    { "CloseDriver", (FARPROC *)&Winmm.CloseDriver },
    { "waveInGetNumDevs", (FARPROC *)&Winmm.waveInGetNumDevs },
    { "waveOutGetNumDevs", (FARPROC *)&Winmm.waveOutGetNumDevs },
    { "waveInGetDevCapsA", (FARPROC *)&Winmm.waveInGetDevCapsA },
    { "waveOutGetDevCapsA", (FARPROC *)&Winmm.waveOutGetDevCapsA },
    { "waveInMessage", (FARPROC *)&Winmm.waveInMessage },
    { "waveOutMessage", (FARPROC *)&Winmm.waveOutMessage },
    { NULL, NULL },
};

bool LoadWinmm()
{
    if (Winmm.module != NULL) {
        UnloadWinmm();
        return false;
    }
    Winmm.module = LibraryLoad(kWinmm);
    if (Winmm.module == NULL)
        return false;
    LogLine(kLogLibrary, "Retrieving procedure addresses");
    const char *missing = NULL;
    if (!LibraryResolve(Winmm.module, kWinmmProcedures, &missing)) {
        ErrorBox("Cannot get proc addresses from %s", kWinmm);
        UnloadWinmm();
        return false;
    }
    return true;
}

void UnloadWinmm()
{
    HMODULE module = Winmm.module;
    ZeroMemory(&Winmm, sizeof Winmm);
    if (module != NULL)
        LibraryUnload(kWinmm, module);
}
