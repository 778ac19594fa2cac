// The run's result type and the process-wide run state every subsystem reads.
#pragma once
#include <windows.h>

// 0 success; bit 0 completed with warnings; bit 1 failed or aborted (takes precedence).
typedef DWORD RunStatus;
const RunStatus kStatusWarning = 1;
const RunStatus kStatusFailed = 2;

inline void StatusInit(RunStatus *status) { *status = 0; }
inline bool StatusIsOk(RunStatus status) { return status == 0; }
inline bool StatusIsFailed(RunStatus status) { return (status & kStatusFailed) != 0; }
inline void StatusSetWarning(RunStatus *status) { *status |= kStatusWarning; }
inline void StatusSetFailed(RunStatus *status) { *status |= kStatusFailed; }
inline RunStatus StatusMerge(RunStatus *status, RunStatus other) { return *status |= other; }

// Strings are heap copies that live until the process ends; null means "not set".
struct RunState {
    const char *CommandLineTail = "";
    HINSTANCE ModuleInstance = NULL;
    bool InstallMode = true;
    bool SourceFromCurrentDir = false;
    DWORD PrimaryPid = 0;
    char *InstallDir = NULL;
    char *ProgramGroup = NULL;
    bool IsNT = false;
    OSVERSIONINFOEXA OsVersion = {};
    SYSTEM_INFO SystemInfo = {};
    char *TempDir = NULL;
    char *ExeModulePath = NULL;
    char *ExeModuleDir = NULL;
    char *ExeModuleName = NULL;
    char *CurrentDir = NULL;
    char *SourceDir = NULL;
    char *TraceLogPath = NULL;
    HANDLE TraceLogHandle = NULL;
    bool UserQuit = false;
    bool AdvancedUser = false;
    bool RestartNeeded = false;
    bool RestartWanted = false;
    bool KeepTraceLog = false;
    bool AdminRightsRequired = false;
    bool Silent = false;   // -s: no window at all; every box logged and answered as documented
    char *RemovedEarlierVersion = NULL;   // the name of an earlier version this installation removed
    ULONGLONG CopiedBytes = 0;            // of the files this installation copied
};

extern RunState Run;
