// A bad or missing setup.ini as the user meets it: its message, then "Installation aborted."
// with the trace log offered; nothing is left behind.
#include <gtest/gtest.h>
#include "e2e_common.h"
#include "robot.h"

namespace {

using namespace e2e;
using robot::kIconError;

const char kScriptWithoutVersion[] =
    "[Main]\r\n"
    "AppName=Demo Audio\r\n"
    "DefaultProgramGroup=Demo Audio\r\n"
    "DefaultInstallDir=%ProgramFilesDir%\\%AppName%\r\n"
    "StartMenuFolder=%CommonProgramsFolder%\r\n"
    "[Files]\r\n"
    "demo.txt=%InstallDir%\r\n";

// Runs setup.exe, expects the script's error box and the aborted report, answers No to keeping
// the log, and checks that the run left nothing behind.
void ExpectScriptRefused(const ProductFolder &product, const std::string &args, const std::string &cwd,
                         const std::string &caption, const std::string &message)
{
    std::vector<std::string> filesBefore = product.Files();
    std::vector<std::string> logsBefore = TraceLogs();
    robot::Session session;
    ASSERT_TRUE(session.Start(product.Exe(), args, cwd)) << session.LastError();
    robot::Window box;
    ASSERT_TRUE(session.NextWindow(&box, robot::kDefaultTimeoutMs)) << session.ProcessSummary();
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.icon, kIconError);
    EXPECT_EQ(box.text.substr(0, message.size()), message) << box.Describe();
    session.Press(box, IDOK);
    std::vector<std::string> logs = NewTraceLogs(logsBefore);
    ASSERT_EQ(logs.size(), 1u);
    robot::Window report = robot::ExpectBox(session, caption, ReportWithKeepQuestion("Installation aborted.", logs[0]),
                                            kIconError, { IDYES, IDNO }, IDNO);
    session.Press(report, IDNO);
    robot::ExpectExit(session, 1);
    EXPECT_EQ(product.Files(), filesBefore);
    EXPECT_EQ(TraceLogs(), logsBefore) << "the declined log is deleted";
    EXPECT_FALSE(PathExists("C:\\Program Files\\Demo Audio"));
}

TEST(SetupScript, MissingVersionIsReportedUnderTheProductsName)
{
    ProductFolder product("noversion");
    product.Write("setup.ini", kScriptWithoutVersion);
    ExpectScriptRefused(product, "", product.Path(), "Demo Audio installation", "Key AppVersion must be present");
}

TEST(SetupScript, MissingScriptIsReportedUnderSetup)
{
    ProductFolder product("noscript");
    ExpectScriptRefused(product, "", product.Path(), kSetupCaption,
                        "Cannot open file \"" + product.Path() + "\\setup.ini\" (0/2 - ");
}

TEST(SetupScript, DashCReadsTheScriptFromTheCurrentDirectory)
{
    ProductFolder product("dashc-exe");
    ProductFolder current("dashc-current");
    current.Write("setup.ini", kScriptWithoutVersion);
    ExpectScriptRefused(product, "-c", current.Path(), "Demo Audio installation", "Key AppVersion must be present");
}

}  // namespace
