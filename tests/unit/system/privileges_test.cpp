#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "support/runstate.h"
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
    // This Wine runs every program as an administrator: the refusal cannot be provoked here.
    EXPECT_TRUE(CheckAdminRights());
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

TEST(FlushFixedDisks, EveryFixedDiskIsTriedAndNothingStops)
{
    LogCapture log;
    FlushFixedDisks();
    // This Wine has two fixed disks: C:, which opens for writing and answers the flush with
    // error 1 (passed over), and Z: (the Unix root), which refuses to open with error 5.
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(17), "  Flushing disks");
    EXPECT_EQ(lines[1].substr(17), "**Cannot open Z: (0/5 - Access denied.)");
    EXPECT_EQ(log.BoxCount(), 0);
}

}  // namespace
