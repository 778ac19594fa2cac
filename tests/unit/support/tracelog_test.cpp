#include <gtest/gtest.h>
#include <regex>
#include <string>
#include "../common/log_capture.h"
#include "support/runstate.h"
#include "support/tracelog.h"
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

}  // namespace
