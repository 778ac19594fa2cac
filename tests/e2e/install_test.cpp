// Installations as a user makes them: the prompt, the two dialogs, the result on the system, the
// journal byte for byte, the ways out, what exists already, and real faults that are rolled back.
#include <gtest/gtest.h>
#include "runner.h"

namespace {

using namespace e2e;

const std::string kScript = e2e::Script("E2E Product",
    "LicenseFile=license.txt\r\nHelpFile=help.txt\r\nRegisterUninstaller=1\r\n"
    "[Files]\r\na.txt=%InstallDir%\r\nb.txt=%InstallDir%\r\n[Links]\r\nA File=%InstallDir%\\a.txt\r\n");
const std::string kBigFile = std::string(50000, 'b');
const std::vector<std::string> kProductFiles = {
    "file:{product}\\a.txt=file a", "file:{product}\\b.txt=" + kBigFile,
    "file:{product}\\license.txt=E2E LICENSE\r\n\r\nTake it or leave it.\r\n", "file:{product}\\help.txt=help",
};
const char kLicense[] = "~|dialog|license=E2E LICENSE\r\n\r\nTake it or leave it.\r\n|accept";
const char kOptions[] = "~|dialog|dir={dir};group=E2E Product;help:shown;advanced:not ticked|enter";
const char kOptionsAdvanced[] = "~|dialog||advanced,install";
const char kWarned[] = "~|warning|Installation completed with some warnings.{kept}|[OK]";
const char kNotePad[] = "*install.log*|window||close";
const char kKey[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\E2E Product 1.0";

std::string Journal(bool withKey = true)
{
    return std::string("journal:AppName \"E2E Product\";") + (withKey ? "AdmRightsRequired;" : "") +
           "CreateDir \"{dir}\";CreateFile \"{dir}\\uninst.ini\";CreateDir \"{group}\";"
           "CreateFile \"{group}\\A File.lnk\";CreateFile \"{group}\\Uninstall E2E Product.lnk\";"
           "CreateFile \"{dir}\\a.txt\";CreateFile \"{dir}\\b.txt\";CreateFile \"{dir}\\setup.exe\";" +
           (withKey ? "CreateKey \"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\E2E Product 1.0\";" : "") +
           "CreateFile \"{dir}\\install.log\"";
}

const std::vector<std::string> kNothingInstalled = { "absent:{dir}", "absent:{group}", std::string("nokey:") + kKey, "logs:0" };

const Case kInstallations[] = {
    { "a complete installation", kScript, kProductFiles,
      { { "", "", { kYesToInstall, kLicense, kOptions, kInstallDone }, 0 } },
      { "content:{dir}\\a.txt=file a", "content:{dir}\\b.txt=" + kBigFile, Journal(), "logs:0",
        "link:{group}\\Uninstall E2E Product.lnk={dir}\\setup.exe|-u|{dir}|Uninstall %AppName%",
        "link:{group}\\A File.lnk={dir}\\a.txt||{dir}|A File",
        std::string("value:") + kKey + "|DisplayName=E2E Product 1.0",
        std::string("value:") + kKey + "|DisplayIcon={dir}\\setup.exe",
        std::string("value:") + kKey + "|UninstallString={dir}\\setup.exe -u", std::string("value:") + kKey + "|NoModify=1" },
      [] {
          const std::string dir = "C:\\Program Files\\E2E Product";
          EXPECT_EQ(ReadFileText(dir + "\\setup.exe"), ReadFileText(robot::EnvPath("SETUP_EXE"))) << "the program copies itself";
          std::vector<std::string> log = SplitLines(ReadFileText(dir + "\\install.log"));
          EXPECT_TRUE(!log.empty() && Matches("*Installation completed successfully.", log.back())) << "install.log is whole";
      } },
    { "No to the prompt", kScript, kProductFiles,
      { { "", "", { "~|question|E2E Product 1.0 will be installed on your computer.\nDo you want to continue?|Yes,[No]>No" }, 0 } },
      With(kNothingInstalled, { "files:{product}=a.txt,b.txt,help.txt,license.txt,setup.exe,setup.ini" }) },
    { "Enter in the license dialog declines", kScript, kProductFiles,
      { { "", "", { kYesToInstall, "~|dialog||enter" }, 0 } }, kNothingInstalled },
    { "Exit in the options dialog", kScript, kProductFiles,
      { { "", "", { kYesToInstall, kLicense, "~|dialog||exit" }, 0 } }, kNothingInstalled },
    { "no Help button for a help file that is missing", kScript,
      { kProductFiles[0], kProductFiles[1], kProductFiles[2] },
      { { "", "", { kYesToInstall, kLicense,
                     "~|dialog|help:hidden;warning=Important!\nMake sure you have UNINSTALLED any previous version*|exit" }, 0 } },
      kNothingInstalled },
    { "a missing license file", kScript, { kProductFiles[0], kProductFiles[1] },
      { { "", "", { kYesToInstall, "~|error|Cannot open file \"license.txt\" (0/2 - File not found.)|[OK]",
                    "~|error|Cannot init dialog|[OK]", kInstallAborted }, 1 } },
      kNothingInstalled },
    { "an advanced user takes over the folder and a file", kScript,
      With(kProductFiles, { "folder:{dir}", "file:{dir}\\b.txt=the user's own" }),
      { { "", "", { kYesToInstall, kLicense, kOptionsAdvanced,
                    "~|warning|Directory \"{dir}\" already exists.\nDo you want to overwrite it?|Yes,[No]>Yes",
                    "~|warning|File \"{dir}\\b.txt\" already exists.\nDo you want to overwrite it?|Yes,[No]>Yes", kWarned, kNotePad }, 1 } },
      { Journal(), "content:{dir}\\b.txt=" + kBigFile, "log:The user is advanced" } },
    { "an existing program group stops a normal user", kScript, With(kProductFiles, { "folder:{group}" }),
      { { "", "", { kYesToInstall, kLicense, kOptions, "~|error|Directory \"{group}\" already exists|[OK]", kInstallAborted }, 1 } },
      { "absent:{dir}", "exists:{group}", "logs:0" } },
    { "killed at that box, the journal on disk already names itself", kScript, With(kProductFiles, { "folder:{group}" }),
      { { "", "", { kYesToInstall, kLicense, kOptions, "~|error|Directory \"{group}\" already exists|kill" }, e2e::kKilled } },
      { "contains:{dir}\\uninst.ini=\r\nCreateFile \"{dir}\\uninst.ini\"\r\n" } },
    // An advanced user may share a program group that exists.
    { "a program group name typed by the user", kScript, With(kProductFiles, { "folder:{common}\\Typed Group" }),
      { { "", "", { kYesToInstall, kLicense, "~|dialog||group=Typed Group,advanced,install",
                    "~|warning|Directory \"{common}\\Typed Group\" already exists.\nDo you want to overwrite it?|Yes,[No]>Yes",
                    kWarned, kNotePad }, 1 } },
      { "exists:{common}\\Typed Group\\A File.lnk", "absent:{group}", "log:Actual program group is \"Typed Group\"" } },
    { "only the exact value 1 registers the uninstaller",
      Replaced(kScript, "RegisterUninstaller=1", "RegisterUninstaller=01"),
      kProductFiles, { { "", "", { kYesToInstall, kLicense, kOptions, kInstallDone }, 0 } },
      { Journal(false), std::string("nokey:") + kKey } },
};

class Installation : public e2e::CaseTest {};
TEST_P(Installation, AsTheUserSeesIt) { e2e::RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Rows, Installation, ::testing::ValuesIn(kInstallations), e2e::CaseName);

// A product with a service of the tests' own service program.
std::string ServiceScript(const std::string &startType, const std::string &image = "{testservice}")
{
    return e2e::Script("Serviced", "ServiceName=SetupE2eService\r\nServiceImage=" + image +
                                   "\r\nServiceType=16\r\nServiceStartup=" + startType + "\r\n");
}

const char kServiceImage[] = "value:HKLM\\System\\CurrentControlSet\\Services\\SetupE2eService|ImagePath=";
const std::string kReplaceQuestion = "~|warning|Service \"SetupE2eService\" is already registered in the system. If you forgot to "
    "uninstall a previous version, please click Cancel to exit Setup and uninstall it as described in the manual.\n\n*";

const Case kServices[] = {
    { "an automatic service is started and recorded", ServiceScript("2"), {},
      { { "", "", { kYesToInstall, kOptionsInstall, kInstallDone }, 0 } },
      { "service:SetupE2eService=running", "contains:{dir}\\uninst.ini=\r\nInstallService \"SetupE2eService\"\r\n" } },
    { "a service started on demand is recorded, not started", ServiceScript("3"), {},
      { { "", "", { kYesToInstall, kOptionsInstall, kInstallDone }, 0 } },
      { "service:SetupE2eService=stopped", "contains:{dir}\\uninst.ini=\r\nInstallService \"SetupE2eService\"\r\n" } },
    { "the uninstallation stops and deletes the service", ServiceScript("2"), { "installed" },
      { { "{dir}\\setup.exe", "-u", { kYesToUninstall, kUninstallDone }, 0 } },
      { "service:SetupE2eService=absent", "absent:{dir}" } },
    { "an earlier service stops a normal user", ServiceScript("2"), { "service:SetupE2eService={testservice} old" },
      { { "", "", { kYesToInstall, kOptionsInstall, "~|error|Service \"SetupE2eService\" is already present|[OK]",
                    kInstallAborted }, 1 } },
      { std::string(kServiceImage) + "{testservice} old", "absent:{dir}" } },
    { "an advanced user keeps an earlier service with Cancel", ServiceScript("2"), { "service:SetupE2eService={testservice} old" },
      { { "", "", { kYesToInstall, "~|dialog||advanced,install", kReplaceQuestion + "|[OK],Cancel>Cancel",
                    kInstallAborted }, 1 } },
      { std::string(kServiceImage) + "{testservice} old", "absent:{dir}", "log:Replace disabled" } },
    { "an advanced user replaces an earlier service with OK", ServiceScript("2"), { "service:SetupE2eService={testservice} old" },
      { { "", "", { kYesToInstall, "~|dialog||advanced,install", kReplaceQuestion + "|[OK],Cancel>OK", kInstallDone }, 0 } },
      { std::string(kServiceImage) + "{testservice}", "service:SetupE2eService=running", "contains:{dir}\\install.log=Replace enabled" } },
};

class Services : public e2e::CaseTest {};
TEST_P(Services, InstalledReplacedAndRolledBack) { e2e::RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Rows, Services, ::testing::ValuesIn(kServices), e2e::CaseName);

}  // namespace
