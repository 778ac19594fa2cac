#include "install/com.h"
#include "support/msgbox.h"
#include "support/tracelog.h"
#include "support/errortext.h"
#include <objbase.h>

bool InitCom()
{
    LogLine(kLogCom, "Initializing COM");
    HRESULT result = CoInitialize(NULL);
    if (FAILED(result)) {
        SetLastError((DWORD)result);
        ErrorBox("Cannot initialize COM (%s)", LastErrorText());
        return false;
    }
    return true;
}
