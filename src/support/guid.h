// GUIDs and their 36-character text (no braces).
#pragma once
#include <windows.h>

const UINT kGuidTextSize = 37;

char *GuidText(char *buffer, const GUID *guid, bool upperCase);
// False leaves the RPC status as the thread's last error.
bool NewGuid(GUID *guid);
bool NewGuidText(char *text);
