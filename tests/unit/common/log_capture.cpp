#include "log_capture.h"
#include "script/setup_script.h"
#include "script/variables.h"
#include "shell/run_files.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/tracelog.h"
#include "support/memory.h"

std::string MakeTestFolder(const char *name)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + "unit-" + name + "-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), NULL);
    return folder;
}

LogCapture::LogCapture()
{
    Run = RunState();
    Script = SetupScript();
    SystemFolders = SystemFolderSet();
    folder_ = MakeTestFolder("log");
    Run.TempDir = StrDup(folder_.c_str());
    SetBoxProductName(&Script.AppName);   // as the run flow does
    CreateTraceLog();
}

LogCapture::~LogCapture()
{
    if (Run.TraceLogHandle != NULL)
        CloseHandle(Run.TraceLogHandle);
    Run.TraceLogHandle = NULL;
    DeleteTraceLog();
    RemoveTree(folder_);
    Run = RunState();
    Script = SetupScript();
    SystemFolders = SystemFolderSet();
}

std::string LogCapture::Text() const
{
    return Run.TraceLogPath != NULL ? ReadFileText(Run.TraceLogPath) : std::string();
}

std::vector<std::string> LogCapture::Lines() const
{
    return SplitLines(Text());
}

// The texts of the boxes shown so far, from their "MessageBox: " lines.
std::vector<std::string> LogCapture::BoxTexts() const
{
    const std::string marker = "MessageBox: ";
    std::vector<std::string> texts;
    for (const std::string &line : Lines())
        if (line.size() > 19 && line.compare(19, marker.size(), marker) == 0)
            texts.push_back(line.substr(19 + marker.size()));
    return texts;
}

std::string LogCapture::LastBoxText() const
{
    std::vector<std::string> texts = BoxTexts();
    return texts.empty() ? "" : texts.back();
}
