// The ground every layer stands on: error texts, the token reader, the trace log's lines and the
// message boxes' captions and log lines. (The allocation-failure hook is seen in the shell's
// tests, numbers through the command line's.)
#include <gtest/gtest.h>
#include <cstring>
#include <regex>
#include <string>
#include "../common/log_capture.h"
#include "support/encoding.h"
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
        MsgBox(level.first, IDYES, "%s will be installed.\nDo you want to continue?", "Demo");
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
        EXPECT_EQ(log.LastBoxText(), "Demo will be installed. Do you want to continue?");
        EXPECT_EQ(log.Lines().back()[8] == '*', level.second) << level.first;
    }
}

// Text files as editors save them, in the code page this test runs in (1252, which has "\xFC" but
// no katakana): ANSI as it is, UTF-8 and UTF-16 converted; exactly, or with a question mark.
TEST(TextToAnsi, EveryEncodingEditorsSaveAndTheLineOfALetterTheCodePageLacks)
{
    const std::string so = "\xE3\x82\xBD";   // katakana "so" in UTF-8
    struct Case { std::string bytes; bool exact; const char *result; DWORD badLine; };
    const Case cases[] = {
        { "AppName=M\xFCller", true, "AppName=M\xFCller", 0 },                           // ANSI: not valid UTF-8
        { "AppName=M\xC3\xBCller", true, "AppName=M\xFCller", 0 },                       // UTF-8 without a mark
        { "\xEF\xBB\xBF" "AppName=M\xC3\xBCller", true, "AppName=M\xFCller", 0 },      // with one
        { std::string("\xFF\xFE" "A\0=\0\xFC\0", 8), true, "A=\xFC", 0 },             // UTF-16
        { std::string("\xFE\xFF\0A\0=\0\xFC", 8), true, "A=\xFC", 0 },                // big-endian
        { "\xEF\xBB\xBF", true, "", 0 },                                              // the mark alone
        { "[Main]\r\nAppName=M\xC3\xBCller\r\nAppVersion=" + so + "\r\n", true, NULL, 3 },
        { "AppName=" + so, false, "AppName=?", 0 },
    };
    for (const Case &c : cases) {
        DWORD length = 99, badLine = 0;
        char *text = TextToAnsi(c.bytes.data(), (DWORD)c.bytes.size(), c.exact, &length, &badLine);
        EXPECT_EQ(text != NULL ? std::string(text) : "(refused)", c.result != NULL ? c.result : "(refused)") << c.bytes;
        EXPECT_EQ(badLine, c.badLine) << c.bytes;
        if (text != NULL)
            EXPECT_EQ(length, strlen(text)) << c.bytes;
        else
            EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_UNICODE_TRANSLATION);
        MemFree(text);
    }
}

// A Japanese Windows: code page 932, where "\x83\x5C" is one letter (katakana so) and "\x95\x5C"
// another (the kanji for "table"): a byte of a backslash that is none. The rows are made only in
// that code page (unit_support_japanese runs them).
struct DoubleByteRow {
    const char *what;
    std::string (*run)(const std::string &text);
    std::string text, expected;
};

const char kSo[] = "\x83\x5C", kHyo[] = "\x95\x5C";

std::string Found(const char *found, const std::string &text)
{
    return found == NULL ? "none" : std::to_string(found - text.c_str());
}

std::vector<DoubleByteRow> DoubleByteRows()
{
    if (GetACP() != 932)
        return {};
    const std::string folder = std::string("C:\\Program Files\\") + kSo + "ft" + kHyo;
    auto firstBackslash = [](const std::string &t) { return Found(StrFindChar(t.c_str(), '\\'), t); };
    auto lastBackslash = [](const std::string &t) { return Found(StrFindLastChar(t.c_str(), '\\'), t); };
    auto endsInBackslash = [](const std::string &t) { return std::string(EndsWithChar(t.c_str(), '\\') ? "yes" : "no"); };
    auto endsInInf = [](const std::string &t) { return std::string(EndsWithText(t.c_str(), "inf") ? "yes" : "no"); };
    auto folderOf = [](const std::string &t) { char folder[MAX_PATH]; return std::string(DirOfPath(folder, t.c_str())); };
    auto cutToFour = [](const std::string &t) { char cut[8]; return std::string(StrCopyCut(cut, t.c_str(), 4)); };
    auto nextOfFirst = [](const std::string &t) { return std::to_string(NextChar(t.c_str()) - t.c_str()); };
    return {
        { "a letter ending in 5C is no backslash", firstBackslash, std::string(kSo) + "ft", "none" },
        { "the last backslash is the real one", lastBackslash, folder, "16" },
        { "a folder ending in such a letter does not end in a backslash", endsInBackslash, folder, "no" },
        { "a real backslash after it does", endsInBackslash, folder + "\\", "yes" },
        { "a file's folder is cut at the real backslash", folderOf, folder + "\\readme.txt", folder },
        { "a cut never keeps half a letter", cutToFour, std::string(kSo) + kHyo, kSo },
        { "a letter is one step", nextOfFirst, kHyo, "2" },
        { "\"inf\" whose i is a second byte is no ending", endsInInf, "x\x83inf", "no" },
        { "a plain ending is found", endsInInf, "oem7.inf", "yes" },
    };
}

class DoubleByteText : public ::testing::TestWithParam<DoubleByteRow> {};

TEST_P(DoubleByteText, IsTakenApartByLetters)
{
    EXPECT_EQ(GetParam().run(GetParam().text), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(CodePage932, DoubleByteText, ::testing::ValuesIn(DoubleByteRows()));
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DoubleByteText);

}  // namespace
