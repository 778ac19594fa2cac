#include <gtest/gtest.h>
#include <regex>
#include <string>
#include "../common/log_capture.h"
#include "shell/runstate.h"
#include "shell/tracelog.h"
#include "support/memory.h"

namespace {

const std::regex kPlainLine(R"(\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d  .*)");
const std::regex kErrorLine(R"(\d\d\.\d\d\.\d\d\*\d\d:\d\d:\d\d\*\*.*)");

TEST(LogLine, PrefixSeparatorAndMarkerByLevel)
{
    LogCapture log;
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    LogLine(8, "same %s %u", "text", 42u);
    LogLine(9, "same %s %u", "text", 42u);
    LogLine(2, "COM");
    LogLine(12, "beyond nine is an error line too");
    GetLocalTime(&after);
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(std::regex_match(lines[0], kPlainLine)) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], kErrorLine)) << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], kPlainLine)) << lines[2];
    EXPECT_TRUE(std::regex_match(lines[3], kErrorLine)) << lines[3];
    EXPECT_EQ(lines[0].substr(19), "same text 42");
    if (before.wSecond == after.wSecond) {   // same second: only separator and marker differ
        std::string plain = lines[0], error = lines[1];
        error[8] = ' ';
        error[17] = error[18] = ' ';
        EXPECT_EQ(plain, error);
    }
    char date[16];
    wsprintfA(date, "%02u.%02u.%02u", before.wDay, before.wMonth, before.wYear % 100);
    EXPECT_EQ(lines[0].substr(0, 8), date);
    EXPECT_EQ(log.Text().substr(log.Text().size() - 2), "\r\n");
}

TEST(LogLine, KeepsTheLastErrorAndWritesNothingWhenClosed)
{
    LogCapture log;
    SetLastError(ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(LogLine(9, "after a failing call"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);

    HANDLE handle = ::Run.TraceLogHandle;
    ::Run.TraceLogHandle = NULL;
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_TRUE(LogLine(7, "dropped"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    ::Run.TraceLogHandle = handle;
    EXPECT_EQ(log.Lines().size(), 1u);
}

TEST(LogLine, LongMessageIsCutAt1024Bytes)
{
    LogCapture log;
    std::string message(1500, 'm');
    LogLine(5, "%s", message.c_str());
    std::string text = log.Text();
    EXPECT_EQ(text.size(), 19u + 1023u + 2u);
    EXPECT_EQ(text.substr(text.size() - 3), "m\r\n");
}

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

TEST(CreateTempFile, GuidNameWithExtension)
{
    LogCapture log;
    char path[MAX_PATH];
    HANDLE file = CreateTempFile(path, "BAT");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    const std::regex name(R"([0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\.BAT)");
    std::string text = path;
    EXPECT_EQ(text.substr(0, log.Folder().size() + 1), log.Folder() + "\\");
    EXPECT_TRUE(std::regex_match(text.substr(log.Folder().size() + 1), name)) << text;
    EXPECT_EQ(log.Lines().back().substr(19), "Created temporary file \"" + text + "\"");
    DeleteFileA(path);
}

}  // namespace
