#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "support/runstate.h"
#include "support/memory.h"
#include "uninstall/uninstaller.h"

namespace {

TEST(SecondaryArguments, PidInEightDigitsAndTheQuotedFolder)
{
    char arguments[kSecondaryArgumentsSize + 8];
    ASSERT_TRUE(FormatSecondaryArguments(arguments, 0x4D2, "C:\\Program Files\\Example"));
    EXPECT_STREQ(arguments, " -u -p 000004D2 -d \"C:\\Program Files\\Example\"");
    ASSERT_TRUE(FormatSecondaryArguments(arguments, 0xFFFFFFFF, "C:\\x"));
    EXPECT_STREQ(arguments, " -u -p FFFFFFFF -d \"C:\\x\"");

    std::string longest(MAX_PATH - 1, 'd');
    memset(arguments, '#', sizeof arguments);
    ASSERT_TRUE(FormatSecondaryArguments(arguments, 1, longest.c_str()));
    EXPECT_EQ(std::string(arguments), " -u -p 00000001 -d \"" + longest + "\"");
    std::string tooLong(kSecondaryArgumentsSize, 'd');
    EXPECT_FALSE(FormatSecondaryArguments(arguments, 1, tooLong.c_str()));
}

TEST(SyncEvent, NamedAfterTheFolderAndExclusive)
{
    LogCapture log;
    ::Run.InstallDir = StrDup("C:\\Program Files\\Sync Test");
    HANDLE missing = OpenSyncEvent(true);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(log.LastBoxText().rfind("Cannot open sync event (0/2 - ", 0), 0u) << log.LastBoxText();

    HANDLE primary = OpenSyncEvent(false);
    ASSERT_NE(primary, nullptr);
    std::vector<std::string> lines = log.Lines();
    EXPECT_EQ(lines[lines.size() - 2].substr(19), "Sync event name: \"C:/Program Files/Sync Test\"");
    EXPECT_EQ(lines.back().substr(19), "Created sync event \"C:/Program Files/Sync Test\"");

    EXPECT_EQ(OpenSyncEvent(false), nullptr) << "a second primary of the same folder";
    EXPECT_EQ(log.LastBoxText().rfind("Cannot create sync event (0/183 - ", 0), 0u) << log.LastBoxText();

    HANDLE secondary = OpenSyncEvent(true);
    ASSERT_NE(secondary, nullptr);
    EXPECT_EQ(log.Lines().back().substr(19), "Opened sync event \"C:/Program Files/Sync Test\"");
    ASSERT_TRUE(SetEvent(secondary));
    EXPECT_EQ(WaitForSingleObject(primary, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(primary, 0), (DWORD)WAIT_TIMEOUT) << "auto-reset";
    CloseHandle(secondary);
    CloseHandle(primary);
}

}  // namespace
