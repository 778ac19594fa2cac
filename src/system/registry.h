// The registry with a trace: every change is logged, every failure shown with its cause.
#pragma once
#include <windows.h>

struct RegKey {
    HKEY handle;   // null while no key is held
    char *path;    // the text the key was opened with, for messages; null exactly when handle is
};

void RegKeyInit(RegKey *key);
// access: the rights the operations on the key need (KEY_QUERY_VALUE | KEY_SET_VALUE to read,
// set and delete values, KEY_CREATE_SUB_KEY to create a subkey), never more.
bool RegKeyOpen(RegKey *key, HKEY parent, const char *subkey, REGSAM access, bool reportMissing);
// Creates the key, or opens it when it exists, with those rights.
bool RegKeyCreate(RegKey *key, HKEY parent, const char *subkey, REGSAM access);
void RegKeyClose(RegKey *key);
void RegKeyRelease(RegKey *key);
HKEY RegKeyHandle(const RegKey *key);
// output: MAX_PATH bytes. REG_EXPAND_SZ values come back expanded.
bool RegKeyQueryString(RegKey *key, const char *name, char *output, bool reportMissing);
// name and data: MAX_PATH bytes each. A value that is not REG_SZ comes back with an empty name.
bool RegKeyEnumValue(RegKey *key, DWORD index, char *name, char *data);
bool RegKeySetValue(RegKey *key, const char *name, DWORD type, const void *data, DWORD size);
bool RegKeySetString(RegKey *key, const char *name, const char *text);
bool RegKeyDeleteValue(RegKey *key, const char *name);
// path: "HKLM\\..." or "HKCU\\..." (prefix case ignored); any other root fails with error 2.
bool RegDeleteKeyPath(const char *path);
bool RegReadString(HKEY root, const char *subkey, const char *name, char *output, bool reportMissing);
// A heap copy of the value (MemFree it), or null when it cannot be read.
char *RegReadStringCopy(HKEY root, const char *subkey, const char *name, bool reportMissing);
