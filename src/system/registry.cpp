#include "system/registry.h"
#include "support/msgbox.h"
#include "support/tracelog.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/text.h"

struct RegistryRoot {
    const char *prefix;
    HKEY handle;
};

static const RegistryRoot kRegistryRoots[] = {
    { "HKLM\\", HKEY_LOCAL_MACHINE },
    { "HKCU\\", HKEY_CURRENT_USER },
    { NULL, NULL },
};

const int kRootPrefixLength = 5;

void RegKeyInit(RegKey *key)
{
    key->handle = NULL;
    key->path = NULL;
}

bool RegKeyOpen(RegKey *key, HKEY parent, const char *subkey, REGSAM access, bool reportMissing)
{
    LONG rc = RegOpenKeyExA(parent, subkey, 0, access, &key->handle);
    SetLastError((DWORD)rc);
    if (rc == ERROR_SUCCESS) {
        key->path = StrDup(subkey);
        return true;
    }
    key->handle = NULL;
    if (rc != ERROR_FILE_NOT_FOUND || reportMissing)
        ErrorBox("Cannot open registry key \"%s\" (%s)", subkey, LastErrorText());
    return false;
}

bool RegKeyCreate(RegKey *key, HKEY parent, const char *subkey, REGSAM access)
{
    LONG rc = RegCreateKeyExA(parent, subkey, 0, NULL, REG_OPTION_NON_VOLATILE, access, NULL, &key->handle, NULL);
    SetLastError((DWORD)rc);
    if (rc != ERROR_SUCCESS) {
        key->handle = NULL;
        ErrorBox("Cannot create registry key \"%s\" (%s)", subkey, LastErrorText());
        return false;
    }
    LogLine(kLogAction, "Created key \"%s\"", subkey);
    key->path = StrDup(subkey);
    return true;
}

// Keeps the last error: a failure's code must survive the clean-up that follows it.
void RegKeyClose(RegKey *key)
{
    DWORD savedError = GetLastError();
    RegCloseKey(key->handle);
    key->handle = NULL;
    MemFree(key->path);
    key->path = NULL;
    SetLastError(savedError);
}

void RegKeyRelease(RegKey *key)
{
    if (key->handle != NULL)
        RegKeyClose(key);
}

HKEY RegKeyHandle(const RegKey *key)
{
    return key->handle;
}

bool RegKeyQueryString(RegKey *key, const char *name, char *output, bool reportMissing)
{
    // One spare byte: a value stored without its terminating zero still ends in one.
    char local[MAX_PATH + 1];
    DWORD type = REG_NONE;
    DWORD size = MAX_PATH;
    local[0] = '\0';
    LONG rc = RegQueryValueExA(key->handle, name, NULL, &type, (BYTE *)local, &size);
    SetLastError((DWORD)rc);
    if (rc != ERROR_SUCCESS) {
        if (rc != ERROR_FILE_NOT_FOUND || reportMissing)
            ErrorBox("Cannot query registry value \"%s\\%s\" (%s)", key->path, name, LastErrorText());
        return false;
    }
    local[size] = '\0';
    if (type == REG_EXPAND_SZ) {
        ExpandEnvironmentStringsA(local, output, MAX_PATH);
        output[MAX_PATH - 1] = '\0';   // an expansion that did not fit is still a text
    }
    else
        lstrcpynA(output, local, MAX_PATH);
    SetLastError(ERROR_SUCCESS);
    LogLine(kLogValue, "Value \"%s\\%s\"=\"%s\"", key->path, name, output);
    return true;
}

bool RegKeyEnumValue(RegKey *key, DWORD index, char *name, char *data)
{
    char local[MAX_PATH + 1];
    DWORD nameSize = MAX_PATH;
    DWORD dataSize = MAX_PATH;
    DWORD type = REG_NONE;
    LONG rc = RegEnumValueA(key->handle, index, name, &nameSize, NULL, &type, (BYTE *)local, &dataSize);
    SetLastError((DWORD)rc);
    if (rc == ERROR_NO_MORE_ITEMS)
        return false;
    if (rc != ERROR_SUCCESS) {
        ErrorBox("Cannot enumerate values in %s (%s)", key->path, LastErrorText());
        return false;
    }
    local[dataSize] = '\0';
    lstrcpynA(data, local, MAX_PATH);
    if (type != REG_SZ)
        name[0] = '\0';
    LogLine(kLogValue, "Value \"%s\\%s\"=\"%s\"", key->path, name, data);
    return true;
}

bool RegKeySetValue(RegKey *key, const char *name, DWORD type, const void *data, DWORD size)
{
    LONG rc = RegSetValueExA(key->handle, name, 0, type, (const BYTE *)data, size);
    SetLastError((DWORD)rc);
    if (rc != ERROR_SUCCESS) {
        ErrorBox("Cannot set registry value \"%s\\%s\" (%s)", key->path, name, LastErrorText());
        return false;
    }
    return true;
}

bool RegKeySetString(RegKey *key, const char *name, const char *text)
{
    if (!RegKeySetValue(key, name, REG_SZ, text, (DWORD)lstrlenA(text) + 1))
        return false;
    LogLine(kLogAction, "Value \"%s\\%s\" set to \"%s\"", key->path, name, text);
    return true;
}

bool RegKeyDeleteValue(RegKey *key, const char *name)
{
    LONG rc = RegDeleteValueA(key->handle, name);
    SetLastError((DWORD)rc);
    if (rc != ERROR_SUCCESS) {
        ErrorBox("Cannot delete registry value \"%s\\%s\" (%s)", key->path, name, LastErrorText());
        return false;
    }
    LogLine(kLogAction, "Deleted value \"%s\\%s\"", key->path, name);
    return true;
}

bool RegDeleteKeyPath(const char *path)
{
    LONG rc = ERROR_FILE_NOT_FOUND;   // a root we do not know is never sent to the registry
    for (const RegistryRoot *root = kRegistryRoots; root->prefix != NULL; root++) {
        if (StrPrefixCompare(path, root->prefix, kRootPrefixLength) == 0) {
            rc = RegDeleteKeyA(root->handle, path + kRootPrefixLength);
            break;
        }
    }
    SetLastError((DWORD)rc);
    if (rc != ERROR_SUCCESS) {
        ErrorBox("Cannot delete key \"%s\" (%s)", path, LastErrorText());
        return false;
    }
    LogLine(kLogAction, "Deleted key \"%s\"", path);
    return true;
}

bool RegReadString(HKEY root, const char *subkey, const char *name, char *output, bool reportMissing)
{
    RegKey key;
    RegKeyInit(&key);
    bool ok = RegKeyOpen(&key, root, subkey, KEY_READ, true) &&
              RegKeyQueryString(&key, name, output, reportMissing);
    RegKeyRelease(&key);
    return ok;
}

char *RegReadStringCopy(HKEY root, const char *subkey, const char *name, bool reportMissing)
{
    char text[MAX_PATH];
    if (!RegReadString(root, subkey, name, text, reportMissing))
        return NULL;
    return StrDup(text);
}
