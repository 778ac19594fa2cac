/* The example product's service: it keeps the Demo Audio Suite's mixer settings at hand while
   Windows runs, and ends when the service control manager tells it to stop. */
#include <windows.h>

static SERVICE_STATUS_HANDLE handle;
static SERVICE_STATUS status = { SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, SERVICE_ACCEPT_STOP };
static HANDLE stopRequested;

static void Report(DWORD state)
{
    status.dwCurrentState = state;
    SetServiceStatus(handle, &status);
}

static DWORD WINAPI Control(DWORD control, DWORD type, LPVOID data, LPVOID context)
{
    if (control != SERVICE_CONTROL_STOP)
        return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
    Report(SERVICE_STOP_PENDING);
    SetEvent(stopRequested);
    return NO_ERROR;
}

static void WINAPI DemoServiceMain(DWORD argc, LPSTR *argv)
{
    handle = RegisterServiceCtrlHandlerExA("DemoAudioService", Control, NULL);
    if (handle == NULL)
        return;
    Report(SERVICE_RUNNING);
    WaitForSingleObject(stopRequested, INFINITE);
    Report(SERVICE_STOPPED);
}

int main(void)
{
    SERVICE_TABLE_ENTRYA services[] = { { (LPSTR)"DemoAudioService", DemoServiceMain }, { NULL, NULL } };
    stopRequested = CreateEventA(NULL, TRUE, FALSE, NULL);
    return StartServiceCtrlDispatcherA(services) ? 0 : 1;
}
