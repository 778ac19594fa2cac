#include "log_capture.h"
#include "script/setup_script.h"
#include "shell/runstate.h"
#include "shell/tracelog.h"
#include "support/memory.h"

std::string MakeTestFolder(const char *name)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + "unit-" + name + "-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), NULL);
    return folder;
}

void RemoveTestFolder(const std::string &folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTestFolder(path);
            else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

std::string ReadWholeFile(const std::string &path)
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

LogCapture::LogCapture()
{
    Run = RunState();
    Script = SetupScript();
    folder_ = MakeTestFolder("log");
    Run.TempDir = StrDup(folder_.c_str());
    CreateTraceLog();
}

LogCapture::~LogCapture()
{
    if (Run.TraceLogHandle != NULL)
        CloseHandle(Run.TraceLogHandle);
    Run.TraceLogHandle = NULL;
    DeleteTraceLog();
    RemoveTestFolder(folder_);
    Run = RunState();
    Script = SetupScript();
}

std::string LogCapture::Text() const
{
    return Run.TraceLogPath != NULL ? ReadWholeFile(Run.TraceLogPath) : std::string();
}

std::vector<std::string> LogCapture::Lines() const
{
    std::vector<std::string> lines;
    std::string text = Text();
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));   // an unterminated tail shows up as a line too
    return lines;
}

static const char kBoxMarker[] = "MessageBox: ";

std::string LogCapture::LastBoxText() const
{
    std::vector<std::string> lines = Lines();
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (line->size() > 19 && line->compare(19, sizeof kBoxMarker - 1, kBoxMarker) == 0)
            return line->substr(19 + sizeof kBoxMarker - 1);
    }
    return "";
}

int LogCapture::BoxCount() const
{
    int count = 0;
    for (const std::string &line : Lines())
        count += line.size() > 19 && line.compare(19, sizeof kBoxMarker - 1, kBoxMarker) == 0;
    return count;
}
