/* The example product's legacy audio driver module. The setup program registers it in the
   Drivers32 keys and then tells it DRV_INSTALL; before unregistering it, DRV_REMOVE. A real
   module would set up or take down its hardware's configuration there; this one keeps a note of
   when it was installed under HKLM\Software\Demo Audio Suite, and takes the note back. */
#include <windows.h>
#include <mmsystem.h>

static const char kNoteKey[] = "Software\\Demo Audio Suite";

static LRESULT Install(void)
{
    HKEY key;
    SYSTEMTIME now;
    char text[32];
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kNoteKey, &key) != ERROR_SUCCESS)
        return DRVCNF_CANCEL;
    GetLocalTime(&now);
    wsprintfA(text, "%04u-%02u-%02u %02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute);
    RegSetValueExA(key, "DriverInstalled", 0, REG_SZ, (const BYTE *)text, lstrlenA(text) + 1);
    RegCloseKey(key);
    return DRVCNF_OK;
}

static LRESULT Remove(void)
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kNoteKey);
    return DRVCNF_OK;
}

__declspec(dllexport) LRESULT CALLBACK DriverProc(DWORD_PTR id, HDRVR driver, UINT message, LPARAM parameter1, LPARAM parameter2)
{
    switch (message) {
    case DRV_INSTALL:
        return Install();
    case DRV_REMOVE:
        return Remove();
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_OPEN:
    case DRV_CLOSE:
    case DRV_ENABLE:
    case DRV_DISABLE:
        return 1;
    default:
        return DefDriverProc(id, driver, message, parameter1, parameter2);
    }
}
