#include "audio/preferred_device.h"
#include "audio/winmm_binding.h"
#include "script/variables.h"
#include "support/errortext.h"
#include "support/text.h"
#include "support/tracelog.h"
#include <mmddk.h>

struct WaveDirectionText {
    const char *text;    // in messages
    const char *value;   // in the Sound Mapper key
};

static const WaveDirectionText kWaveDirections[] = {
    { "In", "Record" },
    { "Out", "Playback" },
};

static const char kSoundMapperKey[] = "Software\\Microsoft\\Multimedia\\Sound Mapper";
const DWORD kNoWaveDevice = 0xFFFFFFFF;
const DWORD kSoundMapperValueSize = 128;

void SetPreferredDeviceExplicitly()
{
    LogLine(kLogBanner, "Setting preferred device explicitly");
    if (!LoadWinmm())
        return;
    static const WaveDirection kOrder[] = { kWaveIn, kWaveOut };
    for (WaveDirection direction : kOrder) {
        char name[kWaveDeviceNameSize];
        if (GetPreferredWaveDevice(direction, name))
            StoreSoundMapperDevice(direction, name);
    }
    UnloadWinmm();
}

// The device the wave mapper prefers; device 0 when it names none.
static UINT PreferredWaveDeviceId(WaveDirection direction)
{
    const char *text = kWaveDirections[direction].text;
    DWORD id = kNoWaveDevice, flags = 0;
    MMRESULT result = direction == kWaveOut
        ? Winmm.waveOutMessage((HWAVEOUT)(UINT_PTR)WAVE_MAPPER, DRVM_MAPPER_PREFERRED_GET, (DWORD_PTR)&id, (DWORD_PTR)&flags)
        : Winmm.waveInMessage((HWAVEIN)(UINT_PTR)WAVE_MAPPER, DRVM_MAPPER_PREFERRED_GET, (DWORD_PTR)&id, (DWORD_PTR)&flags);
    if (result == MMSYSERR_NOERROR)
        LogLine(kLogAction, "Preferred Wave %s device ID is %d", text, id);
    else
        LogLine(kLogError, "Cannot get preferred Wave %s device ID (%u)", text, result);
    if (result != MMSYSERR_NOERROR || id == kNoWaveDevice) {
        LogLine(kLogAction, "Assuming preferred Wave %s device ID is 0", text);
        id = 0;
    }
    return id;
}

bool GetPreferredWaveDevice(WaveDirection direction, char *name)
{
    const char *text = kWaveDirections[direction].text;
    UINT id = PreferredWaveDeviceId(direction);
    WAVEOUTCAPSA out;
    WAVEINCAPSA in;
    MMRESULT result = direction == kWaveOut ? Winmm.waveOutGetDevCapsA(id, &out, sizeof out)
                                            : Winmm.waveInGetDevCapsA(id, &in, sizeof in);
    if (result != MMSYSERR_NOERROR) {
        LogLine(kLogError, "Cannot get Wave %s caps for %u (%u)", text, id, result);
        return false;
    }
    lstrcpynA(name, direction == kWaveOut ? out.szPname : in.szPname, kWaveDeviceNameSize);
    LogLine(kLogAction, "Wave %s device name is %s", text, name);
    return true;
}

bool StoreSoundMapperDevice(WaveDirection direction, const char *name)
{
    const char *valueName = kWaveDirections[direction].value;
    char current[kSoundMapperValueSize];
    HKEY key = NULL;
    bool stored = false;
    LONG rc = RegCreateKeyA(HKEY_CURRENT_USER, kSoundMapperKey, &key);
    if (rc != ERROR_SUCCESS && rc != ERROR_ALREADY_EXISTS) {
        SetLastError((DWORD)rc);
        LogLine(kLogError, "Cannot open/create Sound Mapper key (%s)", LastErrorText());
        return false;
    }
    ZeroMemory(current, sizeof current);
    DWORD size = sizeof current;
    rc = RegQueryValueExA(key, valueName, NULL, NULL, (BYTE *)current, &size);
    SetLastError((DWORD)rc);
    if (rc == ERROR_SUCCESS) {
        current[kSoundMapperValueSize - 1] = '\0';
        LogLine(kLogAction, "Value \"%s\" already exists (%s)", valueName, current);
    } else if (rc != ERROR_FILE_NOT_FOUND) {
        LogLine(kLogError, "Value \"%s\" returns unexpected error (%s)", valueName, LastErrorText());
    } else {
        rc = RegSetValueExA(key, valueName, 0, REG_SZ, (const BYTE *)name, (DWORD)lstrlenA(name) + 1);
        SetLastError((DWORD)rc);
        if (rc != ERROR_SUCCESS) {
            LogLine(kLogError, "Cannot set value \"%s\" (%s)", valueName, LastErrorText());
        } else {
            LogLine(kLogAction, "Value \"%s\" set to \"%s\"", valueName, name);
            stored = true;
        }
    }
    RegCloseKey(key);
    return stored;
}

bool IsKernelStreamingPresent()
{
    HANDLE device = CreateFileA("\\\\.\\sysaudio", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (device == INVALID_HANDLE_VALUE) {
        LogLine(kLogError, "SysAudio device is not present");
        return false;
    }
    CloseHandle(device);
    char path[MAX_PATH];
    if (!JoinPath(path, SystemFolders.WindowsDir, "system32\\drivers\\portcls.sys") || !FileExists(path)) {
        LogLine(kLogError, "%s does not exist", path);
        return false;
    }
    LogLine(kLogAction, "KS and Port Class driver seem to be present");
    return true;
}
