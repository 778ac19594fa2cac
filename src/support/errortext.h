// System error codes as text for the "(%s)" of every error message.
#pragma once
#include <windows.h>

const UINT kErrorTextSize = 256;

// "facility/code - message"; without a system message just "facility/code".
char *FormatSystemError(char *buffer, UINT size, DWORD code);
// FormatSystemError into a kErrorTextSize buffer.
char *ErrorText(char *buffer, DWORD code);
// Gives a setup API error code (top three bits set) its HRESULT form, which has a message text.
void SetupApiErrorToHresult();
// ErrorText of the thread's last-error code in a shared buffer: fills one "(%s)" of a message.
const char *LastErrorText();
