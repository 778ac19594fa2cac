#include "install/com.h"
#include "shell/msgbox.h"
#include "shell/tracelog.h"
#include "support/errortext.h"
#include <objbase.h>

bool InitCom()
{
    LogLine(2, "Initializing COM");
    HRESULT result = CoInitialize(NULL);
    if (FAILED(result)) {
        SetLastError((DWORD)result);
        ErrorBox("Cannot initialize COM (%s)", LastErrorText());
        return false;
    }
    return true;
}
