// A bad or missing setup.ini as the user meets it: its message, then "Installation aborted."
// with the trace log offered; nothing is left behind.
#include <gtest/gtest.h>
#include "e2e_common.h"
#include "robot.h"
#include <memory>

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

namespace {

// The device and service keys are checked before the user is asked anything.
struct KeyCheck {
    const char *version;   // Windows version for setup.exe, or null for the default
    const char *keys;
    const char *box;       // the refusal, or null when the script is accepted
};

const KeyCheck kKeyChecks[] = {
    { NULL, "DeviceName=Demo Device\r\n", "Device description keys mismatch" },
    { NULL, "DeviceName=D\r\nDeviceHardwareId=ROOT\\DEMO\r\n", "Device description keys mismatch" },
    { NULL, "DeviceName=D\r\nMmeDriverModule=demo.drv\r\nMmeDriverCategories=wave\r\n", NULL },
    { "win98", "DeviceName=D\r\nMmeDriverModule=demo.drv\r\nMmeDriverCategories=wave\r\n", "Device description keys mismatch" },
    { "win98", "ServiceName=demo\r\n", "Services are supported under NT systems only" },
    { NULL, "ServiceName=demo\r\nServiceImage=demo.exe\r\nServiceType=\r\nServiceStartup=3\r\n", "Service description is incomplete" },
    { NULL, "ServiceName=demo\r\nServiceImage=demo.exe\r\nServiceType=0\r\nServiceStartup=3\r\n", "Invalid service type 0" },
    { NULL, "ServiceName=demo\r\nServiceImage=demo.exe\r\nServiceType=own\r\nServiceStartup=3\r\n", "Invalid service type own" },
    { NULL, "ServiceName=demo\r\nServiceImage=demo.exe\r\nServiceType=16\r\nServiceStartup=auto\r\n", "Invalid service startup auto" },
    { NULL, "ServiceName=demo\r\nServiceImage=demo.exe\r\nServiceType=16 own\r\nServiceStartup=0\r\n", NULL },
};

TEST(SetupScript, DeviceAndServiceKeysMustFitTogether)
{
    ProductFolder product("keychecks");
    for (const KeyCheck &c : kKeyChecks) {
        SCOPED_TRACE(c.keys);
        std::unique_ptr<WindowsVersion> version(c.version != NULL ? new WindowsVersion(c.version) : nullptr);
        product.Write("setup.ini", std::string(kScriptWithoutVersion).replace(std::string(kScriptWithoutVersion).find("[Files]"), 0,
                                                                               std::string("AppVersion=1\r\n") + c.keys));
        robot::Session session;
        ASSERT_TRUE(session.Start(product.Exe(), "", product.Path()));
        robot::Window box;
        ASSERT_TRUE(session.NextWindow(&box, robot::kDefaultTimeoutMs));
        if (c.box == NULL) {
            EXPECT_EQ(box.text, "Demo Audio 1 will be installed on your computer.\nDo you want to continue?");
            session.Press(box, IDNO);
            robot::ExpectExit(session, 0);
            continue;
        }
        EXPECT_EQ(box.text, c.box);
        EXPECT_EQ(box.icon, kIconError);
        session.Press(box, IDOK);
        robot::Window report;
        ASSERT_TRUE(session.NextWindow(&report, robot::kDefaultTimeoutMs));
        EXPECT_EQ(report.text.rfind("Installation aborted.", 0), 0u);
        session.Press(report, IDNO);
        robot::ExpectExit(session, 1);
    }
}

}  // namespace
