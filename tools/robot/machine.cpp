#include "machine.h"
#include <mmsystem.h>
#include <shlobj.h>
#include <devguid.h>
#include <setupapi.h>
#include <algorithm>
#include <cstdio>

bool Matches(const std::string &pattern, const std::string &text)
{
    size_t p = 0, t = 0, star = std::string::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            p++;
            t++;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        p++;
    return p == pattern.size();
}

std::string ReadFileText(const std::string &path)
{
    std::string content;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return content;
    char buffer[4096];
    DWORD got;
    while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0)
        content.append(buffer, got);
    CloseHandle(file);
    return content;
}

bool WriteTextFile(const std::string &path, const std::string &content)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, content.data(), (DWORD)content.size(), &written, NULL) && written == content.size();
    CloseHandle(file);
    return ok;
}

std::vector<std::string> ListFolder(const std::string &pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        for (const std::string &name : ListFolder(path + "\\*"))
            RemoveTree(path + "\\" + name);
        RemoveDirectoryA(path.c_str());
    } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
}

bool CopyTree(const std::string &from, const std::string &to)
{
    if (!(GetFileAttributesA(from.c_str()) & FILE_ATTRIBUTE_DIRECTORY))
        return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
    bool ok = CreateDirectoryA(to.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
    for (const std::string &name : ListFolder(from + "\\*"))
        ok = CopyTree(from + "\\" + name, to + "\\" + name) && ok;
    return ok;
}

bool PathExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> SplitLines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));   // an unterminated tail shows up as a line too
    return lines;
}

// The folder itself, also where the ANSI code page lacks a letter of its name: then its short form.
std::string TempFolder()
{
    WCHAR wide[MAX_PATH], shortForm[MAX_PATH];
    char temp[MAX_PATH] = "";
    DWORD length = GetTempPathW(MAX_PATH, wide);
    if (length > 0 && wide[length - 1] == L'\\')
        wide[--length] = L'\0';
    BOOL lost = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, temp, MAX_PATH, NULL, &lost);
    if (lost && GetShortPathNameW(wide, shortForm, MAX_PATH) > 0)
        WideCharToMultiByte(CP_ACP, 0, shortForm, -1, temp, MAX_PATH, NULL, NULL);
    return temp;
}

std::vector<std::string> TraceLogs()
{
    std::vector<std::string> paths;
    for (const std::string &name : ListFolder(TempFolder() + "\\brindlework_setup_log_*.tmp"))
        paths.push_back(TempFolder() + "\\" + name);
    return paths;
}

std::vector<std::string> NewTraceLogs(const std::vector<std::string> &before)
{
    std::vector<std::string> added;
    for (const std::string &path : TraceLogs()) {
        if (std::find(before.begin(), before.end(), path) == before.end())
            added.push_back(path);
    }
    return added;
}

TraceLogWatch::TraceLogWatch() : before_(TraceLogs())
{
}

TraceLogWatch::~TraceLogWatch()
{
    for (const auto &log : held_)
        CloseHandle(log.second);
}

// Shared for reading, writing and deleting: the run goes on writing, and deletes it at its end.
void TraceLogWatch::Look()
{
    for (const std::string &path : NewTraceLogs(before_)) {
        if (held_.count(path) != 0)
            continue;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                  OPEN_EXISTING, 0, NULL);
        if (file != INVALID_HANDLE_VALUE)
            held_[path] = file;
    }
}

std::map<std::string, TraceLogCopy> TraceLogWatch::Collect()
{
    Look();
    std::map<std::string, TraceLogCopy> copies;
    for (const auto &log : held_) {
        TraceLogCopy &copy = copies[log.first];
        char block[4096];
        DWORD got = 0;
        SetFilePointer(log.second, 0, NULL, FILE_BEGIN);
        while (ReadFile(log.second, block, sizeof block, &got, NULL) && got > 0)
            copy.text.append(block, got);
        CloseHandle(log.second);
        copy.deleted = !PathExists(log.first);
    }
    held_.clear();
    return copies;
}

bool IsBoundProgram(const std::string &exe)
{
    HMODULE image = LoadLibraryExA(exe.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    bool bound = image != NULL && FindResourceA(image, "BINDING", (LPCSTR)RT_RCDATA) != NULL;
    if (image != NULL)
        FreeLibrary(image);
    return bound;
}

std::string VersionString(const std::string &exe, const char *name)
{
    DWORD ignored = 0, size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
    std::vector<char> data(size);
    struct { WORD language, codePage; } *translation = nullptr;
    UINT length = 0;
    char *value = nullptr;
    if (size == 0 || !GetFileVersionInfoA(exe.c_str(), 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", (void **)&translation, &length) || length < 4)
        return "";
    char path[128];
    wsprintfA(path, "\\StringFileInfo\\%04x%04x\\%s", translation->language, translation->codePage, name);
    return VerQueryValueA(data.data(), path, (void **)&value, &length) && length > 0 ? std::string(value) : "";
}

bool ReadShortcut(const std::string &path, Shortcut *shortcut)
{
    IShellLinkA *link = NULL;
    IPersistFile *file = NULL;
    char text[4][MAX_PATH] = {};
    WCHAR wide[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    CoInitialize(NULL);
    bool loaded = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link)) &&
                  SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file)) && SUCCEEDED(file->Load(wide, STGM_READ)) &&
                  SUCCEEDED(link->GetPath(text[0], MAX_PATH, NULL, SLGP_RAWPATH)) && SUCCEEDED(link->GetArguments(text[1], MAX_PATH)) &&
                  SUCCEEDED(link->GetWorkingDirectory(text[2], MAX_PATH)) && SUCCEEDED(link->GetDescription(text[3], MAX_PATH));
    if (file)
        file->Release();
    if (link)
        link->Release();
    *shortcut = { text[0], text[1], text[2], text[3] };
    return loaded;
}

static const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";

std::string PendingRenames()
{
    HKEY key;
    std::string text;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return text;
    DWORD size = 0;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", NULL, NULL, NULL, &size) == ERROR_SUCCESS && size > 0) {
        text.resize(size);
        RegQueryValueExA(key, "PendingFileRenameOperations", NULL, NULL, (BYTE *)&text[0], &size);
        text.resize(size);
    }
    RegCloseKey(key);
    return text;
}

void ClearPendingRenames()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "PendingFileRenameOperations");
        RegCloseKey(key);
    }
}

RegistryPath SplitRegistryPath(const std::string &path)
{
    static const struct { const char *prefix; HKEY root; } kRoots[] = {
        { "HKLM\\", HKEY_LOCAL_MACHINE }, { "HKCU\\", HKEY_CURRENT_USER },
    };
    for (const auto &r : kRoots) {
        if (path.compare(0, 5, r.prefix) == 0)
            return { r.root, path.substr(5) };
    }
    return { NULL, "" };
}

bool RegistryKeyExists(const std::string &path)
{
    RegistryPath split = SplitRegistryPath(path);
    HKEY key;
    if (split.root == NULL || RegOpenKeyExA(split.root, split.subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::string RegistryValue(const std::string &path, const char *name)
{
    std::string value;
    RegistryPath split = SplitRegistryPath(path);
    HKEY key;
    if (split.root == NULL || RegOpenKeyExA(split.root, split.subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    BYTE data[2048];
    DWORD size = sizeof data - 1, type = 0;
    if (RegQueryValueExA(key, name, NULL, &type, data, &size) == ERROR_SUCCESS) {
        if (type == REG_DWORD)
            value = std::to_string(*(DWORD *)data);
        else
            value.assign((char *)data, size > 0 && data[size - 1] == 0 ? size - 1 : size);
    }
    RegCloseKey(key);
    return value;
}

// ----- snapshots -----

static void SnapshotFiles(const std::string &folder, Snapshot *snapshot)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = folder + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            (*snapshot)["folder " + path] = "";
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                SnapshotFiles(path, snapshot);
        } else {
            ULONGLONG size = ((ULONGLONG)found.nFileSizeHigh << 32) | found.nFileSizeLow;
            std::string detail = std::to_string(size) + " bytes";
            Shortcut shortcut;
            if (path.size() > 4 && lstrcmpiA(path.c_str() + path.size() - 4, ".lnk") == 0 && ReadShortcut(path, &shortcut))
                detail += ", shortcut to " + shortcut.target + (shortcut.arguments.empty() ? "" : " " + shortcut.arguments);
            (*snapshot)["file " + path] = detail;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

static std::string ValueText(DWORD type, const BYTE *data, DWORD size)
{
    if (type == REG_DWORD && size == 4)
        return "dword " + std::to_string(*(const DWORD *)data);
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        std::string text((const char *)data, size);
        std::replace(text.begin(), text.end(), '\0', '|');
        while (!text.empty() && text.back() == '|')
            text.pop_back();
        return std::string(type == REG_SZ ? "sz " : type == REG_EXPAND_SZ ? "expand " : "multi ") + text;
    }
    std::string hex = "type " + std::to_string(type) + " ";
    for (DWORD i = 0; i < size; i++) {
        char pair[4];
        sprintf(pair, "%02x", data[i]);
        hex += pair;
    }
    return hex;
}

static void SnapshotKey(HKEY key, const std::string &path, Snapshot *snapshot, SnapshotScope scope)
{
    (*snapshot)["key " + path] = "";
    static char name[16384];
    static BYTE data[1 << 16];
    DWORD subkeyCount = 0, valueCount = 0;
    RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeyCount, NULL, NULL, &valueCount, NULL, NULL, NULL, NULL);
    for (DWORD i = 0; i < valueCount; i++) {
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        LONG rc = RegEnumValueA(key, i, name, &nameSize, NULL, &type, data, &dataSize);
        if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA)
            break;
        if (rc == ERROR_SUCCESS)
            (*snapshot)["value " + path + "|" + std::string(name, nameSize)] = ValueText(type, data, dataSize);
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0; i < subkeyCount; i++) {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameSize, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        subkeys.push_back(std::string(name, nameSize));
    }
    for (const std::string &subkey : subkeys) {
        // The current control set is the same key as ControlSet001: walk it once, by the name
        // everyone uses.
        if (path == "HKLM\\System" && subkey.compare(0, 10, "ControlSet") == 0)
            continue;
        if (scope == kWithoutClasses && lstrcmpiA(subkey.c_str(), "Classes") == 0)
            continue;
        HKEY child;
        if (RegOpenKeyExA(key, subkey.c_str(), 0, KEY_READ, &child) == ERROR_SUCCESS) {
            SnapshotKey(child, path + "\\" + subkey, snapshot, scope);
            RegCloseKey(child);
        }
    }
}

static void SnapshotServices(Snapshot *snapshot)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ENUMERATE_SERVICE);
    if (manager == NULL)
        return;
    std::vector<BYTE> buffer(1 << 18);
    DWORD needed = 0, count = 0, resume = 0;
    if (EnumServicesStatusA(manager, SERVICE_WIN32 | SERVICE_DRIVER, SERVICE_STATE_ALL,
                            (ENUM_SERVICE_STATUSA *)buffer.data(), (DWORD)buffer.size(), &needed, &count, &resume)) {
        const ENUM_SERVICE_STATUSA *services = (const ENUM_SERVICE_STATUSA *)buffer.data();
        for (DWORD i = 0; i < count; i++)
            (*snapshot)["service " + std::string(services[i].lpServiceName)] =
                services[i].ServiceStatus.dwCurrentState == SERVICE_RUNNING ? "running" : "not running";
    }
    CloseServiceHandle(manager);
}

Snapshot TakeSnapshot(SnapshotScope scope)
{
    Snapshot snapshot;
    SnapshotFiles("C:", &snapshot);
    static const struct { HKEY root; const char *name; } kRoots[] = {
        { HKEY_LOCAL_MACHINE, "HKLM" }, { HKEY_CURRENT_USER, "HKCU" },
    };
    for (const auto &r : kRoots) {
        static const char *const kTops[] = { "Software", "System" };
        for (const char *top : kTops) {
            HKEY key;
            if (RegOpenKeyExA(r.root, top, 0, KEY_READ, &key) != ERROR_SUCCESS)
                continue;
            SnapshotKey(key, std::string(r.name) + "\\" + top, &snapshot, scope);
            RegCloseKey(key);
        }
    }
    SnapshotServices(&snapshot);
    return snapshot;
}

std::vector<Change> CompareSnapshots(const Snapshot &before, const Snapshot &after)
{
    std::vector<Change> changes;
    for (const auto &item : before) {
        auto now = after.find(item.first);
        if (now == after.end())
            changes.push_back({ '-', item.first, item.second, "" });
        else if (now->second != item.second)
            changes.push_back({ '~', item.first, item.second, now->second });
    }
    for (const auto &item : after) {
        if (before.find(item.first) == before.end())
            changes.push_back({ '+', item.first, "", item.second });
    }
    return changes;
}

void TakeBackAdditions(const std::vector<Change> &changes)
{
    for (const Change &change : changes) {
        if (change.kind != '+')
            continue;
        std::string kind = change.item.substr(0, change.item.find(' '));
        std::string item = change.item.substr(kind.size() + 1);
        RegistryPath split = SplitRegistryPath(item.substr(0, item.find('|')));
        if (split.root == NULL && (kind == "key" || kind == "value"))
            continue;
        if (kind == "key") {
            RegDeleteTreeA(split.root, split.subkey.c_str());
        } else if (kind == "value") {
            HKEY key;
            if (RegOpenKeyExA(split.root, split.subkey.c_str(), 0, KEY_SET_VALUE, &key) == 0) {
                RegDeleteValueA(key, item.substr(item.find('|') + 1).c_str());
                RegCloseKey(key);
            }
        } else if (kind == "service") {
            DeleteServiceNamed(item);
        } else {
            RemoveTree(item);
        }
    }
}

struct KnownChange {
    const char *prefix;
    const char *reason;   // null: Wine's own bookkeeping
};

static const KnownChange kKnownChanges[] = {
    { "value HKCU\\Software\\Microsoft\\Multimedia\\Sound Mapper|",
      "the preferred wave devices in force before the installation, recorded as the user's choice" },
    { "key HKCU\\Software\\Microsoft\\Multimedia\\Sound Mapper", "the key of the preferred wave devices" },
    { "key HKCU\\Software\\Microsoft\\Multimedia", "the key of the preferred wave devices" },
    { "file C:\\users\\root\\Temp\\brindlework_setup_log_", "a trace log kept by the user, by a silent run or by a run that ended abruptly" },
    { "value HKLM\\System\\CurrentControlSet\\Control\\Session Manager|PendingFileRenameOperations",
      "files in use, deleted at the next restart" },
    { "value HKLM\\System\\CurrentControlSet\\Control\\ServiceCurrent|", NULL },   // counts service starts
    { "value HKCU\\Software\\Wine\\", NULL },
    { "key HKCU\\Software\\Wine\\", NULL },
    { NULL, NULL },
};

static const KnownChange *FindKnownChange(const std::string &item)
{
    for (const KnownChange *known = kKnownChanges; known->prefix != NULL; known++)
        if (item.compare(0, strlen(known->prefix), known->prefix) == 0)
            return known;
    return NULL;
}

bool IsWineBookkeeping(const std::string &item)
{
    const KnownChange *known = FindKnownChange(item);
    return known != NULL && known->reason == NULL;
}

std::string ChangeDetail(const Change &change)
{
    if (change.kind == '~')
        return change.before + " -> " + change.after;
    return change.kind == '+' ? change.after : change.before;
}

const char *ReasonLeft(const std::string &item)
{
    const KnownChange *known = FindKnownChange(item);
    return known != NULL ? known->reason : NULL;
}

std::string Leftovers(const Snapshot &before, const Snapshot &after)
{
    std::string text;
    for (const Change &change : CompareSnapshots(before, after))
        if (FindKnownChange(change.item) == NULL)
            text += std::string(1, change.kind) + " " + change.item + "\n";
    return text;
}

void WarmUpWine()
{
    waveOutGetNumDevs();
    HWND window = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    DestroyWindow(window);
    CoInitialize(NULL);
    IShellLinkA *link = NULL;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link)))
        link->Release();
    Sleep(1000);
}

// ----- devices and services -----

// The instance ids of the present devices that list the hardware id.
std::vector<std::string> PresentDevices(const std::string &hardwareId)
{
    std::vector<std::string> found;
    HDEVINFO list = SetupDiGetClassDevsA(NULL, NULL, NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA element = { sizeof element };
    for (DWORD i = 0; list != INVALID_HANDLE_VALUE && SetupDiEnumDeviceInfo(list, i, &element); i++) {
        for (DWORD property : { SPDRP_HARDWAREID, SPDRP_COMPATIBLEIDS }) {
            char ids[1024] = "", instance[MAX_PATH] = "";
            if (!SetupDiGetDeviceRegistryPropertyA(list, &element, property, NULL, (BYTE *)ids, sizeof ids - 2, NULL))
                continue;
            for (const char *id = ids; *id != '\0'; id += lstrlenA(id) + 1)
                if (lstrcmpiA(id, hardwareId.c_str()) == 0 && SetupDiGetDeviceInstanceIdA(list, &element, instance, MAX_PATH, NULL))
                    found.push_back(instance);
        }
    }
    SetupDiDestroyDeviceInfoList(list);
    return found;
}

void RemoveDevices(const std::string &hardwareId)
{
    for (const std::string &instance : PresentDevices(hardwareId)) {
        HDEVINFO list = SetupDiCreateDeviceInfoList(NULL, NULL);
        SP_DEVINFO_DATA element = { sizeof element };
        if (SetupDiOpenDeviceInfoA(list, instance.c_str(), NULL, 0, &element))
            SetupDiRemoveDevice(list, &element);
        SetupDiDestroyDeviceInfoList(list);
    }
}

// A registered root device of the MEDIA class that lists the hardware id.
bool MakeDevice(const std::string &ids, DWORD property)
{
    HDEVINFO list = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_MEDIA, NULL);
    SP_DEVINFO_DATA element = { sizeof element };
    std::string list0 = ids + '|' + '|';
    std::replace(list0.begin(), list0.end(), '|', '\0');
    bool ok = SetupDiCreateDeviceInfoA(list, "MEDIA", &GUID_DEVCLASS_MEDIA, "Earlier device", NULL, DICD_GENERATE_ID, &element) &&
              SetupDiSetDeviceRegistryPropertyA(list, &element, property, (const BYTE *)list0.data(), (DWORD)list0.size()) &&
              SetupDiCallClassInstaller(DIF_REGISTERDEVICE, list, &element);
    SetupDiDestroyDeviceInfoList(list);
    return ok;
}

std::string ServiceState(const std::string &name)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
    std::string state = "absent";
    SERVICE_STATUS status = {};
    for (int i = 0; service != NULL && i < 100; i++) {   // a service may still be starting
        QueryServiceStatus(service, &status);
        if (status.dwCurrentState == SERVICE_RUNNING || status.dwCurrentState == SERVICE_STOPPED)
            break;
        Sleep(20);
    }
    if (service != NULL)
        state = status.dwCurrentState == SERVICE_RUNNING ? "running" : status.dwCurrentState == SERVICE_STOPPED
                ? "stopped" : std::to_string(status.dwCurrentState);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return state;
}

void DeleteServiceNamed(const std::string &name)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
    SERVICE_STATUS status;
    if (service != NULL) {
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

bool MakeService(const std::string &name, const std::string &image)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = CreateServiceA(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, image.c_str(), NULL, NULL, NULL, NULL, NULL);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return service != NULL;
}

void ClearDriverKeys()
{
    for (const char *key : { "Drivers32", "Userinstallable.drivers", "drivers.desc", "Drivers32\\Terminal Server\\RDP" }) {
        HKEY handle;
        std::string path = std::string("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\") + key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS)
            continue;
        char name[MAX_PATH];
        for (DWORD size = MAX_PATH; RegEnumValueA(handle, 0, name, &size, NULL, NULL, NULL, NULL) == ERROR_SUCCESS; size = MAX_PATH)
            RegDeleteValueA(handle, name);
        RegCloseKey(handle);
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32\\Terminal Server\\RDP");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\BrindleworkTestDriver");
}
