#include "e2e_common.h"
#include <objbase.h>
#include <regex>
#include <shlobj.h>

namespace e2e {

std::string SetupExe()
{
    std::string exe = robot::EnvPath("SETUP_EXE");
    if (exe.empty())
        ADD_FAILURE() << "SETUP_EXE is not set";
    return exe;
}

ProductFolder::ProductFolder(const std::string &name)
{
    CreateDirectoryA("C:\\e2e", NULL);
    path_ = "C:\\e2e\\" + name;
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), NULL);
    if (!CopyFileA(SetupExe().c_str(), Exe().c_str(), FALSE))
        ADD_FAILURE() << "cannot copy setup.exe into " << path_ << ": " << GetLastError();
}

ProductFolder::~ProductFolder()
{
    RemoveTree(path_);
}

void ProductFolder::Write(const std::string &fileName, const std::string &content) const
{
    EXPECT_TRUE(WriteTextFile(path_ + "\\" + fileName, content)) << fileName;
}

std::vector<std::string> ProductFolder::Files() const
{
    return ListFolder(path_ + "\\*");
}

WindowsVersion::WindowsVersion(const char *version, const char *exeName)
    : key_(std::string("Software\\Wine\\AppDefaults\\") + exeName)
{
    HKEY key;
    if (RegCreateKeyA(HKEY_CURRENT_USER, key_.c_str(), &key) == ERROR_SUCCESS) {
        RegSetValueExA(key, "Version", 0, REG_SZ, (const BYTE *)version, lstrlenA(version) + 1);
        RegCloseKey(key);
    } else {
        ADD_FAILURE() << "cannot set the Windows version for " << exeName;
    }
}

WindowsVersion::~WindowsVersion()
{
    HKEY key;
    if (RegOpenKeyA(HKEY_CURRENT_USER, key_.c_str(), &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "Version");
        RegCloseKey(key);
    }
}

ScopedEnvironment::ScopedEnvironment(const char *name, const char *value) : name_(name)
{
    char saved[4096];
    DWORD length = GetEnvironmentVariableA(name, saved, sizeof saved);
    had_ = length > 0 && length < sizeof saved;
    if (had_)
        saved_ = saved;
    SetEnvironmentVariableA(name, value);
}

ScopedEnvironment::~ScopedEnvironment()
{
    SetEnvironmentVariableA(name_.c_str(), had_ ? saved_.c_str() : NULL);
}

bool PressEnter(const robot::Window &dialog)
{
    GUITHREADINFO info = { sizeof info };
    DWORD thread = GetWindowThreadProcessId(dialog.hwnd, NULL);
    if (!GetGUIThreadInfo(thread, &info) || info.hwndFocus == NULL)
        return false;
    PostMessageA(info.hwndFocus, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageA(info.hwndFocus, WM_KEYUP, VK_RETURN, 0xC01C0001);
    return true;
}

std::string CommonProgramsFolder()
{
    char folder[MAX_PATH] = "";
    SHGetSpecialFolderPathA(NULL, folder, CSIDL_COMMON_PROGRAMS, FALSE);
    return folder;
}

std::string RegistryValue(HKEY root, const std::string &key, const char *name)
{
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return "";
    BYTE data[1024];
    DWORD size = sizeof data - 1, type = 0;
    std::string value;
    if (RegQueryValueExA(handle, name, NULL, &type, data, &size) == ERROR_SUCCESS) {
        if (type == REG_DWORD)
            value = std::to_string(*(DWORD *)data);
        else
            value.assign((char *)data, size > 0 && data[size - 1] == 0 ? size - 1 : size);
    }
    RegCloseKey(handle);
    return value;
}

bool RegistryKeyExists(HKEY root, const std::string &key)
{
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

LinkInfo ReadLink(const std::string &linkPath)
{
    LinkInfo info;
    CoInitialize(NULL);
    IShellLinkA *link = NULL;
    IPersistFile *file = NULL;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link)) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide, MAX_PATH);
        if (SUCCEEDED(file->Load(wide, STGM_READ))) {
            char text[MAX_PATH];
            info.loaded = true;
            link->GetPath(text, MAX_PATH, NULL, SLGP_RAWPATH);
            info.path = text;
            link->GetArguments(text, MAX_PATH);
            info.arguments = text;
            link->GetWorkingDirectory(text, MAX_PATH);
            info.workingDir = text;
            link->GetDescription(text, MAX_PATH);
            info.description = text;
        }
    }
    if (file)
        file->Release();
    if (link)
        link->Release();
    return info;
}

std::string ReportWithLogParagraph(const std::string &first, const std::string &logPath)
{
    return first + "\n\nA trace log is saved to \"" + logPath +
           "\"\nIt may help you to determine a cause of the problem.\nYou can send it to the author with an error report.";
}

std::string ReportWithKeepQuestion(const std::string &first, const std::string &logPath)
{
    return ReportWithLogParagraph(first, logPath) +
           "\nIf you don't need a log, it will be deleted.\n\nKeep the trace log file?";
}

static const std::regex kLinePrefix(R"((\d\d)\.(\d\d)\.\d\d( \d\d:\d\d:\d\d  |\*\d\d:\d\d:\d\d\*\*).*)");

::testing::AssertionResult AllLinesWellFormed(const std::vector<std::string> &lines)
{
    for (size_t i = 0; i < lines.size(); i++) {
        std::smatch match;
        if (!std::regex_match(lines[i], match, kLinePrefix))
            return ::testing::AssertionFailure() << "line " << i + 1 << " is malformed: " << lines[i];
        int day = std::stoi(match[1]), month = std::stoi(match[2]);
        if (day < 1 || day > 31 || month < 1 || month > 12)
            return ::testing::AssertionFailure() << "line " << i + 1 << " has no date: " << lines[i];
    }
    return ::testing::AssertionSuccess();
}

bool IsErrorLine(const std::string &line)
{
    return line.size() >= 19 && line[8] == '*' && line[17] == '*' && line[18] == '*';
}

std::string LineText(const std::string &line)
{
    return line.size() >= 19 ? line.substr(19) : "";
}

}  // namespace e2e
