#include <gtest/gtest.h>
#include <string>
#include "support/guid.h"

namespace {

TEST(GuidText, BothCasesAndTheNullPointer)
{
    const GUID guid = { 0x8ECC055D, 0x047F, 0x11D1, { 0xA5, 0x37, 0x00, 0x00, 0xF8, 0x75, 0x3E, 0xD1 } };
    char text[kGuidTextSize];
    EXPECT_STREQ(GuidText(text, &guid, false), "8ecc055d-047f-11d1-a537-0000f8753ed1");
    EXPECT_STREQ(GuidText(text, &guid, true), "8ECC055D-047F-11D1-A537-0000F8753ED1");
    EXPECT_STREQ(GuidText(text, NULL, false), "*** zero GUID address ***");
}

bool IsLowerGuidText(const std::string &text)
{
    if (text.size() != 36)
        return false;
    for (size_t i = 0; i < text.size(); i++) {
        bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        char c = text[i];
        if (hyphen ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

TEST(NewGuidText, FreshLowerCaseGuids)
{
    char first[kGuidTextSize], second[kGuidTextSize];
    ASSERT_TRUE(NewGuidText(first));
    ASSERT_TRUE(NewGuidText(second));
    EXPECT_TRUE(IsLowerGuidText(first)) << first;
    EXPECT_TRUE(IsLowerGuidText(second)) << second;
    EXPECT_STRNE(first, second);
}

}  // namespace
