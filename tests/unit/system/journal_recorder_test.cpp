#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "system/journal_recorder.h"

namespace {

class JournalRecorder : public ::testing::Test {
protected:
    void SetUp() override { JournalForgetSince(0); }
    void TearDown() override { JournalForgetSince(0); }
    static std::string Text() { return JournalText() != NULL ? std::string(JournalText(), JournalMark()) : ""; }
    LogCapture log_;
};

TEST_F(JournalRecorder, HeaderAndEventLinesByteForByte)
{
    ASSERT_TRUE(JournalAppendLine(kJournalHeader));
    ASSERT_TRUE(JournalAddEvent(kEventAppName, "\"%s\"", "Demo Audio"));
    ASSERT_TRUE(JournalAddEvent(kEventAdmRightsRequired, NULL));
    ASSERT_TRUE(JournalAddEvent(kEventCreateKey, "\"HKLM\\%s\\%s\"", "Software\\Uninstall", "Demo 1.0"));
    EXPECT_EQ(Text(),
              ";\r\n; Caution!\r\n; Do not delete or modify this file. It is required to product uninstallation.\r\n;\r\n\r\n"
              "AppName \"Demo Audio\"\r\n"
              "AdmRightsRequired\r\n"
              "CreateKey \"HKLM\\Software\\Uninstall\\Demo 1.0\"\r\n");
    EXPECT_EQ(JournalText()[JournalMark()], '\0');
}

TEST_F(JournalRecorder, OverlongEventIsRefusedNotCut)
{
    ASSERT_TRUE(JournalAddEvent(kEventCreateFile, "\"%s\"", std::string(354, 'p').c_str()));   // 367 characters
    std::string before = Text();
    EXPECT_FALSE(JournalAddEvent(kEventCreateFile, "\"%s\"", std::string(355, 'p').c_str()));
    EXPECT_EQ(Text(), before);
    EXPECT_EQ(log_.BoxCount(), 1);
}

TEST_F(JournalRecorder, EventNamesCodesAndBits)
{
    EXPECT_EQ(EventCode("createfile"), (DWORD)kEventCreateFile);
    EXPECT_EQ(EventCode("INSTALLMMEDRIVER"), (DWORD)kEventInstallMmeDriver);
    EXPECT_EQ(EventCode("CreateFil"), (DWORD)kEventUnknown);
    EXPECT_STREQ(EventName(kEventCreateDir), "CreateDir");
    EXPECT_EQ(EventBit(kEventAppName), 1u);
    EXPECT_EQ(EventBit(kEventInstallDevice) | EventBit(kEventInstallMmeDriver), 0x180u);
    EXPECT_EQ(EventBit(kEventUnknown), 0x80000000u);
    EXPECT_EQ(EventBit(kEventCreateValue), 0x20u);
}

}  // namespace
