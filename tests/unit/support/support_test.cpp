// The ground every layer stands on: error texts, the token reader, the trace log's lines and the
// message boxes' captions and log lines. (The allocation-failure hook is seen in the shell's
// tests, numbers through the command line's.)
#include <gtest/gtest.h>
#include <cstring>
#include <regex>
#include <string>
#include "../common/log_capture.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/text.h"
#include "support/tracelog.h"

namespace {

TEST(ErrorText, FacilityCodeAndOneLineMessageKeepingTheLastError)
{
    const std::string denied = "Access denied.";   // this Wine's text, on one line
    struct Case { DWORD code; UINT size; std::string expected; };
    const Case cases[] = {
        { ERROR_ACCESS_DENIED, kErrorTextSize, "0/5 - " + denied },
        { (DWORD)E_ACCESSDENIED, kErrorTextSize, "7/5 - " + denied },   // the HRESULT form of the same error
        { 0x1234ABCD, kErrorTextSize, "4660/43981" },                   // no text: the numbers alone
        { ERROR_ACCESS_DENIED, 12, "0/5" },                             // no room for the message
    };
    for (const Case &c : cases) {
        char buffer[kErrorTextSize + 8];
        memset(buffer, '#', sizeof buffer);
        SetLastError(1234);
        EXPECT_EQ(std::string(FormatSystemError(buffer, c.size, c.code)), c.expected) << std::hex << c.code;
        EXPECT_EQ(GetLastError(), 1234u);
        EXPECT_EQ(buffer[c.size], '#') << "written past the buffer";
    }
}

TEST(GetToken, QuotedPlainBrokenAndTooLong)
{
    LogCapture log;
    const std::string longest(MAX_PATH - 1, 'a'), tooLong = "\"" + std::string(MAX_PATH, 'b') + "\"";
    struct Case { std::string source; std::string token; int after; };   // after: -1 = none
    const Case cases[] = {
        { "\"C:\\Program Files\\Demo\" -u", "C:\\Program Files\\Demo", 23 },
        { "first second", "first", 5 }, { "  padded", "padded", 8 },
        { "tab\tinside rest", "tab\tinside", 10 },   // only a space ends a plain token
        { "\"\" -u", "", 2 }, { " \t ", "", -1 },
        { "\"no closing quote -u", "", -1 },
        { longest, longest, MAX_PATH - 1 }, { tooLong, "", -1 },
    };
    for (const Case &c : cases) {
        char token[MAX_PATH + 8];
        memset(token, '#', sizeof token);
        const char *after = GetToken(c.source.c_str(), token, MAX_PATH);
        EXPECT_EQ(std::string(token), c.token) << c.source;
        EXPECT_EQ(after == NULL ? -1 : (int)(after - c.source.c_str()), c.after) << c.source;
        EXPECT_EQ(token[MAX_PATH], '#') << "written past the buffer";
    }
    EXPECT_TRUE(Matches("*No right quotemark: `\"no closing quote -u`", log.Lines()[0]));
}

TEST(TraceLog, PrefixByLevelCutAtTheFormatLimitLastErrorKept)
{
    LogCapture log;
    SetLastError(ERROR_SHARING_VIOLATION);
    LogLine(kLogBanner, "same %s %u", "text", 42u);
    LogLine(kLogError, "same %s %u", "text", 42u);
    LogLine(12, "beyond nine is an error line too");
    LogLine(kLogValue, "%s", std::string(1500, 'm').c_str());
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 4u);
    const std::regex plain(R"(\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d  same text 42)");
    const std::regex error(R"(\d\d\.\d\d\.\d\d\*\d\d:\d\d:\d\d\*\*.*)");
    EXPECT_TRUE(std::regex_match(lines[0], plain)) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], error) && std::regex_match(lines[2], error)) << lines[1] << lines[2];
    EXPECT_EQ(lines[3].size(), 19u + 1023u) << "the message is cut, the line still ends";
    EXPECT_EQ(log.Text().substr(log.Text().size() - 2), "\r\n");
}

TEST(MsgBox, ALongProductNameKeepsTheModeAndEachBoxIsLoggedOnOneLine)
{
    LogCapture log;
    char *productName = StrDup(std::string(255, 'n').c_str());
    char caption[kCaptionSize + 8];
    memset(caption, '#', sizeof caption);
    SetBoxProductName(&productName);
    BoxCaption(caption);
    EXPECT_TRUE(Matches("nnn*n installation", caption)) << caption;
    EXPECT_EQ(strlen(caption), kCaptionSize - 1u) << "cut only as far as the buffer needs";
    EXPECT_EQ(caption[kCaptionSize], '#') << "written past the buffer";
    // Errors and warnings are error lines (an asterisk after the date), questions plain ones.
    const std::pair<UINT, bool> levels[] = { { MB_ICONHAND, true }, { MB_ICONEXCLAMATION | MB_YESNO, true },
                                             { MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2, false } };
    for (const auto &level : levels) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        MsgBox(level.first, "%s will be installed.\nDo you want to continue?", "Demo");
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
        EXPECT_EQ(log.LastBoxText(), "Demo will be installed. Do you want to continue?");
        EXPECT_EQ(log.Lines().back()[8] == '*', level.second) << level.first;
    }
}

}  // namespace
