// The ground every layer stands on: error texts, GUIDs, memory, parsing, the trace log's lines
// and the message boxes' captions and log lines.
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include "../common/log_capture.h"
#include "support/errortext.h"
#include "support/guid.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/text.h"
#include "support/tracelog.h"

namespace {

std::string SystemMessage(DWORD code)
{
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK, NULL, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, NULL);
    std::string message = text;
    while (!message.empty() && message.back() == ' ')
        message.pop_back();
    return message;
}

TEST(ErrorText, FacilityCodeAndOneLineMessageKeepingTheLastError)
{
    std::string denied = SystemMessage(ERROR_ACCESS_DENIED);
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

TEST(ErrorText, OnlySetupApiCodesTakeTheirHresultForm)
{
    const DWORD cases[][2] = { { 0xE000020B, 0x800F020B }, { 0xE0000217, 0x800F0217 }, { ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED },
                               { 0xC0000005, 0xC0000005 }, { 0x800F020B, 0x800F020B } };
    for (const auto &c : cases) {
        SetLastError(c[0]);
        SetupApiErrorToHresult();
        EXPECT_EQ(GetLastError(), c[1]) << std::hex << c[0];
    }
}

TEST(Guid, TextInBothCasesAndFreshOnes)
{
    const GUID guid = { 0x8ECC055D, 0x047F, 0x11D1, { 0xA5, 0x37, 0x00, 0x00, 0xF8, 0x75, 0x3E, 0xD1 } };
    char text[kGuidTextSize], other[kGuidTextSize];
    EXPECT_STREQ(GuidText(text, &guid, false), "8ecc055d-047f-11d1-a537-0000f8753ed1");
    EXPECT_STREQ(GuidText(text, &guid, true), "8ECC055D-047F-11D1-A537-0000F8753ED1");
    EXPECT_STREQ(GuidText(text, NULL, false), "*** zero GUID address ***");
    ASSERT_TRUE(NewGuidText(text) && NewGuidText(other));
    EXPECT_TRUE(std::regex_match(text, std::regex("[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}"))) << text;
    EXPECT_STRNE(text, other);
}

int hookCalls;
DWORD GiveUpAfterTwo(ULONGLONG) { return ++hookCalls < 3; }

TEST(Memory, ZeroFilledBlocksAndTheHookAskedUntilItGivesUp)
{
    unsigned char *block = (unsigned char *)MemAlloc(4096);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string((char *)block, 4096), std::string(4096, '\0'));
    MemFree(block);
    AllocFailureHook previous = SetAllocFailureHook(GiveUpAfterTwo);
    EXPECT_EQ(MemAlloc((SIZE_T)1 << 62), nullptr);
    EXPECT_EQ(hookCalls, 3);
    SetAllocFailureHook(NULL);
    EXPECT_EQ(MemAlloc((SIZE_T)1 << 62), nullptr) << "without a hook the failure is quiet";
    SetAllocFailureHook(previous);
}

TEST(ParseNumber, DigitsBasesAndWhereItStops)
{
    struct Case { const char *text; UINT base; DWORD value; int end; };
    const Case cases[] = {
        { "1aB", 16, 0x1AB, 3 }, { "12z", 16, 0x12, 2 },
        { "FFFFFFFF0", 16, 0xFFFFFFFF, 8 },   // the ninth digit would pass 32 bits
        { "", 16, 0, 0 }, { "0x10", 16, 0, 1 }, { "-5", 10, 0, 0 },
        { "4294967296", 10, 429496729, 9 }, { "1012", 2, 5, 3 }, { "zZ", 36, 35 * 36 + 35, 2 },
    };
    for (const Case &c : cases) {
        const char *end = NULL;
        EXPECT_EQ(ParseNumber(c.text, &end, c.base), c.value) << c.text;
        EXPECT_EQ(end - c.text, c.end) << c.text;
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
    EXPECT_EQ(log.Lines()[0].substr(17), "**No right quotemark: `\"no closing quote -u`");
}

TEST(StrPrefixCompare, IgnoresCaseAndStopsAtTheTerminator)
{
    EXPECT_EQ(StrPrefixCompare("hklm\\Software\\Demo", "HKLM\\", 5), 0);
    EXPECT_LT(StrPrefixCompare("HKCU\\x", "HKLM\\", 5), 0);
    EXPECT_LT(StrPrefixCompare("HKL", "HKLM\\", 5), 0);   // a shorter text sorts first
    EXPECT_NE(StrPrefixCompare("HKLMX", "HKLM\\", 5), 0);
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

TEST(MsgBox, CaptionFollowsTheProductAndEachBoxIsLoggedOnOneLine)
{
    LogCapture log;
    char *productName = NULL;
    char caption[kCaptionSize + 8];
    SetBoxProductName(&productName);
    BoxCaption(caption);
    EXPECT_STREQ(caption, "Setup");
    productName = StrDup("Demo Audio");
    ::Run.InstallMode = false;
    BoxCaption(caption);
    EXPECT_STREQ(caption, "Demo Audio uninstallation");
    productName = StrDup(std::string(255, 'n').c_str());
    ::Run.InstallMode = true;
    BoxCaption(caption);
    EXPECT_EQ(std::string(caption), std::string(kCaptionSize - 14, 'n') + " installation") << "cut to keep the mode";

    const std::pair<UINT, const char *> levels[] = { { MB_ICONHAND, "**" }, { MB_ICONEXCLAMATION | MB_YESNO, "**" },
                                                      { MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2, "  " }, { 0, "  " } };
    for (const auto &level : levels) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        MsgBox(level.first, "%s will be installed.\nDo you want to continue?", "Demo");
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
        EXPECT_EQ(log.Lines().back().substr(17), std::string(level.second) +
                  "MessageBox: Demo will be installed. Do you want to continue?") << level.first;
    }
}

}  // namespace
