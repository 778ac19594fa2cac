#include "test_files.h"
#include <algorithm>

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

std::string TempFolder()
{
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, temp);
    if (length > 0 && temp[length - 1] == '\\')
        temp[length - 1] = '\0';
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

void DeleteNewTraceLogs(const std::vector<std::string> &before)
{
    for (const std::string &path : NewTraceLogs(before))
        DeleteFileA(path.c_str());
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
