#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "shell/runstate.h"
#include "system/diskflush.h"
#include "system/privileges.h"

namespace {

TEST(AdminRights, EnabledOnNtAndNotNeededBefore)
{
    LogCapture log;
    RequireAdminRights();
    EXPECT_TRUE(::Run.AdminRightsRequired);
    EXPECT_EQ(log.Lines().back().substr(19), "Administrator rights required");
    ::Run.IsNT = false;
    EXPECT_TRUE(EnablePrivilege("NoSuchPrivilegeAnywhere")) << "no token is touched before NT";
    ::Run.IsNT = true;
    EXPECT_TRUE(CheckAdminRights()) << "the test prefix runs as an administrator";
    EXPECT_EQ(log.BoxCount(), 0);
}

TEST(AdminRights, UnknownPrivilegeIsReported)
{
    LogCapture log;
    ::Run.IsNT = true;
    EXPECT_FALSE(EnablePrivilege("NoSuchPrivilegeAnywhere"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_SUCH_PRIVILEGE);
    EXPECT_EQ(log.LastBoxText().rfind("Cannot lookup privilege value (0/1313 - ", 0), 0u) << log.LastBoxText();
}

TEST(FlushFixedDisks, LogsAndNeverStops)
{
    LogCapture log;
    FlushFixedDisks();
    std::vector<std::string> lines = log.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].substr(19), "Flushing disks");
    // This Wine opens C: for writing and answers the flush with error 1, which is not logged.
    for (const std::string &line : lines)
        EXPECT_EQ(line.find("Cannot flush C:"), std::string::npos) << line;
    EXPECT_EQ(log.BoxCount(), 0);
}

}  // namespace
