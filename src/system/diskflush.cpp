#include "system/diskflush.h"
#include "support/tracelog.h"
#include "support/errortext.h"

static void FlushVolume(char letter)
{
    char path[8];
    wsprintfA(path, "%c:\\", letter);
    if (GetDriveTypeA(path) != DRIVE_FIXED)
        return;
    wsprintfA(path, "\\\\.\\%c:", letter);
    HANDLE volume = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                OPEN_EXISTING, 0, NULL);
    if (volume == INVALID_HANDLE_VALUE) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
            LogLine(kLogError, "Cannot open %c: (%s)", letter, LastErrorText());
        return;
    }
    if (!FlushFileBuffers(volume) && GetLastError() != ERROR_INVALID_FUNCTION)
        LogLine(kLogError, "Cannot flush %c: (%s)", letter, LastErrorText());
    CloseHandle(volume);
}

void FlushFixedDisks()
{
    LogLine(kLogAction, "Flushing disks");
    for (char letter = 'A'; letter <= 'Z'; letter++)
        FlushVolume(letter);
}
