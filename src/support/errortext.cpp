#include "support/errortext.h"

char *FormatSystemError(char *buffer, UINT size, DWORD code)
{
    DWORD savedError = GetLastError();
    int prefixLength = wsprintfA(buffer, "%u/%u - ", (code >> 16) & 0x1FFF, code & 0xFFFF);
    DWORD room = size - (DWORD)prefixLength - 1;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                  NULL, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  buffer + prefixLength, room, NULL);
    if (length == 0)
        buffer[prefixLength - 3] = '\0';   // drop " - ": the numbers alone
    else if (buffer[prefixLength + length - 1] == ' ')
        buffer[prefixLength + length - 1] = '\0';
    SetLastError(savedError);
    return buffer;
}

char *ErrorText(char *buffer, DWORD code)
{
    return FormatSystemError(buffer, kErrorTextSize, code);
}

void SetupApiErrorToHresult()
{
    DWORD code = GetLastError();
    if ((code & 0xE0000000) == 0xE0000000)
        SetLastError((code & 0xFFFF) | 0x800F0000);
}

const char *LastErrorText()
{
    static char buffer[kErrorTextSize];
    return ErrorText(buffer, GetLastError());
}
