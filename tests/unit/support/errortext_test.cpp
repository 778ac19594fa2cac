#include <gtest/gtest.h>
#include <string>
#include "support/errortext.h"

namespace {

std::string SystemMessage(DWORD code)
{
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                   NULL, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, NULL);
    std::string message = text;
    while (!message.empty() && message.back() == ' ')
        message.pop_back();
    return message;
}

TEST(FormatSystemError, FacilityCodeAndOneLineMessage)
{
    std::string denied = SystemMessage(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(denied.empty()) << "this system has no text for error 5";
    struct Case { DWORD code; std::string expected; };
    const Case cases[] = {
        { ERROR_ACCESS_DENIED, "0/5 - " + denied },
        { (DWORD)E_ACCESSDENIED, "7/5 - " + denied },       // the HRESULT form of the same error
        { 0x1234ABCD, "4660/43981" },                        // no text: the numbers alone
    };
    for (const Case &c : cases) {
        char buffer[kErrorTextSize];
        SetLastError(1234);
        EXPECT_EQ(std::string(ErrorText(buffer, c.code)), c.expected) << std::hex << c.code;
        EXPECT_EQ(GetLastError(), 1234u) << "the last error must survive";
        EXPECT_EQ(std::string(buffer).find_first_of("\r\n"), std::string::npos);
    }
}

TEST(FormatSystemError, SmallBufferKeepsTheNumbersAndItsBounds)
{
    char buffer[32];
    memset(buffer, '#', sizeof buffer);
    FormatSystemError(buffer, 12, ERROR_ACCESS_DENIED);
    EXPECT_STREQ(buffer, "0/5");
    for (int i = 12; i < 32; i++)
        EXPECT_EQ(buffer[i], '#') << "written past the buffer at " << i;
}

TEST(SetupApiErrorToHresult, OnlySetupApiCodesChange)
{
    struct Case { DWORD code; DWORD expected; };
    const Case cases[] = {
        { 0xE000020B, 0x800F020B },   // no such device instance
        { 0xE0000217, 0x800F0217 },
        { ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED },
        { 0xC0000005, 0xC0000005 },   // two of the three top bits only
        { 0x800F020B, 0x800F020B },
    };
    for (const Case &c : cases) {
        SetLastError(c.code);
        SetupApiErrorToHresult();
        EXPECT_EQ(GetLastError(), c.expected) << std::hex << c.code;
    }
}

TEST(LastErrorText, ShowsTheCurrentCodeAndKeepsIt)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    std::string text = LastErrorText();
    EXPECT_EQ(text.rfind("0/2 - ", 0), 0u) << text;
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

}  // namespace
