#include <gtest/gtest.h>
#include <regex>
#include <string>
#include "../common/log_capture.h"
#include "support/runstate.h"
#include "shell/run_files.h"
#include "support/tracelog.h"
#include "support/memory.h"

namespace {

const std::regex kPlainLine(R"(\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d  .*)");
const std::regex kErrorLine(R"(\d\d\.\d\d\.\d\d\*\d\d:\d\d:\d\d\*\*.*)");

TEST(CreateTraceLog, NameFromTempDirAndTime)
{
    LogCapture log;
    const std::regex name(R"(.*\\brindlework_setup_log_\d{8}_\d{6}\.tmp)");
    ASSERT_NE(::Run.TraceLogPath, nullptr);
    EXPECT_TRUE(std::regex_match(std::string(::Run.TraceLogPath), name)) << ::Run.TraceLogPath;
    EXPECT_EQ(std::string(::Run.TraceLogPath).rfind(log.Folder() + "\\brindlework_setup_log_", 0), 0u);
    // Others may read the log while the run writes it.
    LogLine(7, "visible");
    HANDLE reader = CreateFileA(::Run.TraceLogPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                OPEN_EXISTING, 0, NULL);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE) << GetLastError();
    char text[64] = "";
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(reader, text, sizeof text - 1, &got, NULL));
    CloseHandle(reader);
    EXPECT_EQ(std::string(text, got).substr(19), "visible\r\n");
}

TEST(CreateTraceLog, NameInUseByAnotherRunTakesTheNextSecond)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    Sleep(1000 - now.wMilliseconds + 20);   // both opens fall into the same second
    LogCapture log;   // holds this second's name open, as a run still writing would
    std::string taken = ::Run.TraceLogPath;
    HANDLE handle = ::Run.TraceLogHandle;
    ::Run.TraceLogHandle = NULL;
    ::Run.TraceLogPath = NULL;
    ASSERT_TRUE(CreateTraceLog());
    std::string fresh = ::Run.TraceLogPath;
    EXPECT_NE(fresh, taken);
    EXPECT_GT(fresh, taken) << "a later time stamp";
    CloseHandle(::Run.TraceLogHandle);
    DeleteFileA(fresh.c_str());
    ::Run.TraceLogHandle = handle;
    ::Run.TraceLogPath = StrDup(taken.c_str());
}

TEST(CreateTraceLog, MissingFolderIsReportedAndLeavesNoPath)
{
    LogCapture log;   // its own log receives the box line
    std::string missing = log.Folder() + "\\missing";
    char *savedTemp = ::Run.TempDir;
    char *savedPath = ::Run.TraceLogPath;
    HANDLE savedHandle = ::Run.TraceLogHandle;
    ::Run.TempDir = StrDup(missing.c_str());
    ::Run.TraceLogPath = NULL;
    EXPECT_FALSE(CreateTraceLog());
    EXPECT_EQ(::Run.TraceLogPath, nullptr);
    EXPECT_EQ(::Run.TraceLogHandle, savedHandle);
    ::Run.TempDir = savedTemp;
    ::Run.TraceLogPath = savedPath;
    std::string box = log.LastBoxText();
    const std::regex expected("Cannot create trace log file \"" + std::regex_replace(missing, std::regex(R"(\\)"), R"(\\)") +
                              R"(\\brindlework_setup_log_\d{8}_\d{6}\.tmp" \(0/3 - .+\))");
    EXPECT_TRUE(std::regex_match(box, expected)) << box;
}

TEST(GetTempDir, DropsOneTrailingBackslash)
{
    LogCapture log;
    std::string folder = log.Folder() + "\\";
    char saved[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", saved, MAX_PATH);
    SetEnvironmentVariableA("TMP", folder.c_str());
    char *savedTemp = ::Run.TempDir;
    EXPECT_TRUE(GetTempDir());
    EXPECT_EQ(std::string(::Run.TempDir), log.Folder());
    ::Run.TempDir = savedTemp;
    SetEnvironmentVariableA("TMP", saved[0] ? saved : NULL);
}

TEST(GetModulePaths, SplitsPathFolderAndName)
{
    LogCapture log;
    ASSERT_TRUE(GetModulePaths());
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    EXPECT_STREQ(::Run.ExeModulePath, path);
    EXPECT_EQ(std::string(::Run.ExeModuleDir) + "\\" + ::Run.ExeModuleName, path);
    EXPECT_STREQ(::Run.ExeModuleName, "unit_shell.exe");
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(19), "ExeModuleDir=\"" + std::string(::Run.ExeModuleDir) + "\"");
    EXPECT_EQ(lines[1].substr(19), "ExeModuleName=\"unit_shell.exe\"");
}

}  // namespace
