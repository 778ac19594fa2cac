// Installations as a user makes them: the prompt, the two dialogs, the result on the system, the
// journal byte for byte, the ways out, what exists already, and real faults that are rolled back.
#include <gtest/gtest.h>
#include "runner.h"

namespace {

using e2e::Case;
using e2e::With;

const std::string kScript = e2e::Script("E2E Product",
    "LicenseFile=license.txt\r\nHelpFile=help.txt\r\nRegisterUninstaller=1\r\n"
    "[Files]\r\na.txt=%InstallDir%\r\nb.txt=%InstallDir%\r\n[Links]\r\nA File=%InstallDir%\\a.txt\r\n");
const std::string kBigFile = std::string(50000, 'b');
const std::vector<std::string> kProductFiles = {
    "file:{product}\\a.txt=file a", "file:{product}\\b.txt=" + kBigFile,
    "file:{product}\\license.txt=E2E LICENSE\r\n\r\nTake it or leave it.\r\n", "file:{product}\\help.txt=help",
};
const char kPrompt[] = "~|question|E2E Product 1.0 will be installed on your computer.\nDo you want to continue?|Yes,[No]>Yes";
const char kLicense[] = "~|dialog|1000=E2E LICENSE\r\n\r\nTake it or leave it.\r\n|accept";
const char kOptions[] = "~|dialog|1001={dir};1002=E2E Product;1006:shown;1005:not ticked|enter";
const char kOptionsAdvanced[] = "~|dialog||advanced,install";
const char kDone[] = "~|information|Installation completed successfully.|[OK]";
const char kAborted[] = "~|error|Installation aborted.{keep}|Yes,[No]>No";
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
      { { "", "", { kPrompt, kLicense, kOptions, kDone }, 0 } },
      { "content:{dir}\\a.txt=file a", "content:{dir}\\b.txt=" + kBigFile, "same:{dir}\\setup.exe={product}\\setup.exe",
        Journal(), "logs:0", "lastline:{dir}\\install.log=Installation completed successfully.",
        "link:{group}\\Uninstall E2E Product.lnk={dir}\\setup.exe|-u|{dir}|Uninstall %AppName%",
        "link:{group}\\A File.lnk={dir}\\a.txt||{dir}|A File",
        std::string("value:") + kKey + "|DisplayName=E2E Product 1.0",
        std::string("value:") + kKey + "|DisplayIcon={dir}\\setup.exe",
        std::string("value:") + kKey + "|UninstallString={dir}\\setup.exe -u", std::string("value:") + kKey + "|NoModify=1" } },
    { "No to the prompt", kScript, kProductFiles,
      { { "", "", { "~|question|E2E Product 1.0 will be installed on your computer.\nDo you want to continue?|Yes,[No]>No" }, 0 } },
      With(kNothingInstalled, { "files:{product}=a.txt,b.txt,help.txt,license.txt,setup.exe,setup.ini" }) },
    { "Enter in the license dialog declines", kScript, kProductFiles,
      { { "", "", { kPrompt, "~|dialog||enter" }, 0 } }, kNothingInstalled },
    { "Exit in the options dialog", kScript, kProductFiles,
      { { "", "", { kPrompt, kLicense, "~|dialog||exit" }, 0 } }, kNothingInstalled },
    { "no Help button for a help file that is missing", kScript,
      { kProductFiles[0], kProductFiles[1], kProductFiles[2] },
      { { "", "", { kPrompt, kLicense,
                     "~|dialog|1006:hidden;1003=Important!\nMake sure you have UNINSTALLED any previous version*|exit" }, 0 } },
      kNothingInstalled },
    { "a missing license file", kScript, { kProductFiles[0], kProductFiles[1] },
      { { "", "", { kPrompt, "~|error|Cannot open file \"license.txt\" (0/2 - File not found.)|[OK]",
                    "~|error|Cannot init dialog|[OK]", kAborted }, 1 } },
      kNothingInstalled },
    { "an advanced user takes over the folder and a file", kScript,
      With(kProductFiles, { "folder:{dir}", "file:{dir}\\b.txt=the user's own" }),
      { { "", "", { kPrompt, kLicense, kOptionsAdvanced,
                    "~|warning|Directory \"{dir}\" already exists.\nDo you want to overwrite it?|Yes,[No]>Yes",
                    "~|warning|File \"{dir}\\b.txt\" already exists.\nDo you want to overwrite it?|Yes,[No]>Yes", kWarned, kNotePad }, 1 } },
      { Journal(), "content:{dir}\\b.txt=" + kBigFile, "log:The user is advanced" } },
    { "an existing program group stops a normal user", kScript, With(kProductFiles, { "folder:{group}" }),
      { { "", "", { kPrompt, kLicense, kOptions, "~|error|Directory \"{group}\" already exists|[OK]", kAborted }, 1 } },
      { "absent:{dir}", "exists:{group}", "logs:0" } },
    { "killed at that box, the journal on disk already names itself", kScript, With(kProductFiles, { "folder:{group}" }),
      { { "", "", { kPrompt, kLicense, kOptions, "~|error|Directory \"{group}\" already exists|kill" }, e2e::kKilled } },
      { "contains:{dir}\\uninst.ini=\r\nCreateFile \"{dir}\\uninst.ini\"\r\n" } },
    { "an advanced user shares an existing program group", kScript, With(kProductFiles, { "folder:{group}" }),
      { { "", "", { kPrompt, kLicense, kOptionsAdvanced,
                    "~|warning|Directory \"{group}\" already exists.\nDo you want to overwrite it?|Yes,[No]>Yes", kWarned, kNotePad }, 1 } },
      { Journal(), "exists:{group}\\A File.lnk" } },
    { "a program group name typed by the user", kScript, With(kProductFiles, { "folder:{common}\\Typed Group" }),
      { { "", "", { kPrompt, kLicense, "~|dialog||group=Typed Group,advanced,install",
                    "~|warning|Directory \"{common}\\Typed Group\" already exists.\nDo you want to overwrite it?|Yes,[No]>Yes",
                    kWarned, kNotePad }, 1 } },
      { "exists:{common}\\Typed Group\\A File.lnk", "absent:{group}", "log:Actual program group is \"Typed Group\"" } },
    { "only the exact value 1 registers the uninstaller", e2e::Script("E2E Product",
          "LicenseFile=license.txt\r\nHelpFile=help.txt\r\nRegisterUninstaller=01\r\n"
          "[Files]\r\na.txt=%InstallDir%\r\nb.txt=%InstallDir%\r\n[Links]\r\nA File=%InstallDir%\\a.txt\r\n"),
      kProductFiles, { { "", "", { kPrompt, kLicense, kOptions, kDone }, 0 } },
      { Journal(false), std::string("nokey:") + kKey } },
};

TEST(Installation, AsTheUserSeesIt)
{
    for (const Case &c : kInstallations)
        e2e::RunCase(c);
}

// A product with a service of the tests' own service program.
std::string ServiceScript(const std::string &startType, const std::string &image = "{testservice}")
{
    return e2e::Script("Serviced", "ServiceName=SetupE2eService\r\nServiceImage=" + image +
                                   "\r\nServiceType=16\r\nServiceStartup=" + startType + "\r\n");
}

const char kServicedPrompt[] = "~|question|Serviced 1.0 will be installed on your computer.\nDo you want to continue?|Yes,[No]>Yes";
const char kServicedDone[] = "~|information|Installation completed successfully.|[OK]";
const char kServiceImage[] = "value:HKLM\\System\\CurrentControlSet\\Services\\SetupE2eService|ImagePath=";
const std::string kReplaceQuestion = "~|warning|Service \"SetupE2eService\" is already registered in the system. If you forgot to "
    "uninstall a previous version, please click Cancel to exit Setup and uninstall it as described in the manual.\n\n*";

const Case kServices[] = {
    { "an automatic service is started and recorded", ServiceScript("2"), {},
      { { "", "", { kServicedPrompt, "~|dialog||install", kServicedDone }, 0 } },
      { "service:SetupE2eService=running", "contains:{dir}\\uninst.ini=\r\nInstallService \"SetupE2eService\"\r\n" } },
    { "a service started on demand is recorded, not started", ServiceScript("3"), {},
      { { "", "", { kServicedPrompt, "~|dialog||install", kServicedDone }, 0 } },
      { "service:SetupE2eService=stopped", "contains:{dir}\\uninst.ini=\r\nInstallService \"SetupE2eService\"\r\n" } },
    { "the uninstallation stops and deletes the service", ServiceScript("2"), { "installed" },
      { { "{dir}\\setup.exe", "-u", { "~|question|Do you really want to uninstall Serviced?|Yes,[No]>Yes",
                                        "Setup|information|Uninstallation completed successfully.|[OK]" }, 0 } },
      { "noservice:SetupE2eService", "absent:{dir}" } },
    { "an earlier service stops a normal user", ServiceScript("2"), { "service:SetupE2eService={testservice} old" },
      { { "", "", { kServicedPrompt, "~|dialog||install", "~|error|Service \"SetupE2eService\" is already present|[OK]",
                    "~|error|Installation aborted.{keep}|Yes,[No]>No" }, 1 } },
      { std::string(kServiceImage) + "{testservice} old", "absent:{dir}" } },
    { "an advanced user keeps an earlier service with Cancel", ServiceScript("2"), { "service:SetupE2eService={testservice} old" },
      { { "", "", { kServicedPrompt, "~|dialog||advanced,install", kReplaceQuestion + "|[OK],Cancel>Cancel",
                    "~|error|Installation aborted.{keep}|Yes,[No]>No" }, 1 } },
      { std::string(kServiceImage) + "{testservice} old", "absent:{dir}", "log:Replace disabled" } },
    { "an advanced user replaces an earlier service with OK", ServiceScript("2"), { "service:SetupE2eService={testservice} old" },
      { { "", "", { kServicedPrompt, "~|dialog||advanced,install", kReplaceQuestion + "|[OK],Cancel>OK", kServicedDone }, 0 } },
      { std::string(kServiceImage) + "{testservice}", "service:SetupE2eService=running", "contains:{dir}\\install.log=Replace enabled" } },
};

TEST(Installation, ServicesInstalledReplacedAndRolledBack)
{
    for (const Case &c : kServices)
        e2e::RunCase(c);
}

}  // namespace
