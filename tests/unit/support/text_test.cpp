#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "support/runstate.h"
#include "support/text.h"

namespace {

TEST(ParseNumber, DigitsBasesAndWhereItStops)
{
    struct Case { const char *text; UINT base; DWORD value; int end; };
    const Case cases[] = {
        { "1aB", 16, 0x1AB, 3 },
        { "12z", 16, 0x12, 2 },
        { "FFFFFFFF0", 16, 0xFFFFFFFF, 8 },   // the ninth digit would pass 32 bits
        { "000004D2 -d", 16, 0x4D2, 8 },
        { "", 16, 0, 0 },
        { "0x10", 16, 0, 1 },                 // no prefixes
        { "-5", 10, 0, 0 },                   // no sign
        { "4294967295", 10, 0xFFFFFFFF, 10 },
        { "4294967296", 10, 429496729, 9 },
        { "1012", 2, 5, 3 },
        { "zZ", 36, 35 * 36 + 35, 2 },
        { "9", 8, 0, 0 },
    };
    for (const Case &c : cases) {
        const char *end = NULL;
        EXPECT_EQ(ParseNumber(c.text, &end, c.base), c.value) << '"' << c.text << "\" base " << c.base;
        EXPECT_EQ(end - c.text, c.end) << '"' << c.text << "\" base " << c.base;
    }
    EXPECT_EQ(ParseNumber("77", NULL, 8), 077u);
}

TEST(GetToken, QuotedPlainAndBroken)
{
    LogCapture log;
    struct Case { const char *source; const char *token; int after; };   // after: -1 = null
    const Case cases[] = {
        { "\"C:\\Program Files\\Demo\" -u", "C:\\Program Files\\Demo", 23 },
        { "first second", "first", 5 },
        { "  padded", "padded", 8 },
        { "tab\tinside rest", "tab\tinside", 10 },   // only a space ends a plain token
        { "\"\" -u", "", 2 },
        { "", "", -1 },
        { " \t ", "", -1 },
        { "\"no closing quote -u", "", -1 },
    };
    for (const Case &c : cases) {
        char token[MAX_PATH] = "garbage";
        const char *after = GetToken(c.source, token, MAX_PATH);
        EXPECT_STREQ(token, c.token) << c.source;
        if (c.after < 0) {
            EXPECT_EQ(after, nullptr) << c.source;
        } else {
            EXPECT_EQ(after - c.source, c.after) << c.source;
        }
    }
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(8, 1) + lines[0].substr(17), "***No right quotemark: `\"no closing quote -u`");
}

TEST(GetToken, TokenMustFitItsBuffer)
{
    LogCapture log;
    std::string longest(MAX_PATH - 1, 'a');
    char token[MAX_PATH + 8];
    memset(token, '#', sizeof token);
    const char *after = GetToken(longest.c_str(), token, MAX_PATH);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(std::string(token), longest);

    std::string tooLong = "\"" + std::string(MAX_PATH, 'b') + "\"";
    memset(token, '#', sizeof token);
    EXPECT_EQ(GetToken(tooLong.c_str(), token, MAX_PATH), nullptr);
    EXPECT_EQ(token[0], '\0');
    for (size_t i = 1; i < sizeof token; i++)
        ASSERT_EQ(token[i], '#') << "written at " << i;
}

TEST(StrPrefixCompare, IgnoresCaseAndStopsAtTheTerminator)
{
    EXPECT_EQ(StrPrefixCompare("hklm\\Software\\Demo", "HKLM\\", 5), 0);
    EXPECT_EQ(StrPrefixCompare("HkCu\\x", "HKCU\\", 5), 0);
    EXPECT_LT(StrPrefixCompare("HKCU\\x", "HKLM\\", 5), 0);
    EXPECT_GT(StrPrefixCompare("HKLM\\x", "HKCU\\", 5), 0);
    EXPECT_LT(StrPrefixCompare("HKL", "HKLM\\", 5), 0);   // a shorter text sorts first
    EXPECT_NE(StrPrefixCompare("HKLMX", "HKLM\\", 5), 0);
}

TEST(StrFind, CharactersAndParts)
{
    const char text[] = "C:\\a\\b.exe";
    EXPECT_EQ(StrFindChar(text, '\\'), text + 2);
    EXPECT_EQ(StrFindLastChar(text, '\\'), text + 4);
    EXPECT_EQ(StrFindChar(text, 'z'), nullptr);
    EXPECT_EQ(StrFindLastChar(text, 'z'), nullptr);
    EXPECT_EQ(StrFindChar(text, '\0'), text + 10);      // the terminator is found too
    EXPECT_EQ(StrFindLastChar(text, '\0'), text + 10);
    EXPECT_EQ(StrFindStr(text, "b.e"), text + 5);
    EXPECT_EQ(StrFindStr(text, ""), text);
    EXPECT_EQ(StrFindStr("", "x"), nullptr);
    EXPECT_EQ(StrFindStr(text, "exe!"), nullptr);
    EXPECT_STREQ(SkipBlanks(" \t x "), "x ");
    EXPECT_TRUE(IsBlank('\t'));
    EXPECT_FALSE(IsBlank('\n'));
}

TEST(DirOfPath, CutsAtTheLastBackslash)
{
    char folder[MAX_PATH];
    EXPECT_STREQ(DirOfPath(folder, "C:\\Program Files\\Demo\\setup.exe"), "C:\\Program Files\\Demo");
    EXPECT_STREQ(DirOfPath(folder, "C:\\setup.exe"), "C:");
    EXPECT_STREQ(DirOfPath(folder, "setup.exe"), "setup.exe");
}

TEST(PidText, DecimalOnNtHexadecimalOtherwise)
{
    RunState saved = ::Run;
    char buffer[16];
    ::Run.IsNT = true;
    EXPECT_STREQ(PidText(255, buffer), "255");
    ::Run.IsNT = false;
    const char *shared = PidText(255, NULL);
    EXPECT_STREQ(shared, "FF");
    EXPECT_EQ(PidText(0x4D2, NULL), shared);   // one static buffer for every such call
    EXPECT_STREQ(shared, "4D2");
    ::Run = saved;
}

TEST(FileExists, MissingPresentAndHeldOpen)
{
    std::string folder = MakeTestFolder("exists");
    std::string path = folder + "\\file.txt";
    EXPECT_FALSE(FileExists(path.c_str()));
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              CREATE_NEW, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(FileExists(path.c_str())) << "no sharing is requested, so an open file is not seen";
    CloseHandle(file);
    EXPECT_TRUE(FileExists(path.c_str()));
    RemoveTree(folder);
}

}  // namespace
