#include "support/guid.h"
#include <rpc.h>

char *GuidText(char *buffer, const GUID *guid, bool upperCase)
{
    static const char kLower[] = "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x";
    static const char kUpper[] = "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X";
    if (guid == NULL) {
        lstrcpyA(buffer, "*** zero GUID address ***");
        return buffer;
    }
    wsprintfA(buffer, upperCase ? kUpper : kLower, guid->Data1, guid->Data2, guid->Data3,
              guid->Data4[0], guid->Data4[1], guid->Data4[2], guid->Data4[3],
              guid->Data4[4], guid->Data4[5], guid->Data4[6], guid->Data4[7]);
    return buffer;
}

bool NewGuid(GUID *guid)
{
    RPC_STATUS status = UuidCreate(guid);
    if (status == RPC_S_OK || status == RPC_S_UUID_LOCAL_ONLY)
        return true;
    SetLastError((DWORD)status);
    return false;
}

bool NewGuidText(char *text)
{
    GUID guid;
    if (!NewGuid(&guid))
        return false;
    GuidText(text, &guid, false);
    return true;
}
