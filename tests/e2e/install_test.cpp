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

// setup.ini and the license as today's editors save them: read as the author wrote them, shown in
// the code page of the Windows that installs (here 1252, which has "\xFC"), installed and removed.
const std::string kMueller = e2e::Script("M\xFCller Studio", "LicenseFile=license.txt\r\nRegisterUninstaller=1\r\n"
                                                              "[Files]\r\na.txt=%InstallDir%\r\n");
Case SavedAs(const char *encoding)
{
    return { std::string("setup.ini and the license saved in ") + encoding, kMueller,
             { "file:{product}\\a.txt=a", "file:{product}\\license.txt=M\xDCLLER STUDIO LICENSE", std::string("encode:{product}\\setup.ini=") + encoding,
               std::string("encode:{product}\\license.txt=") + encoding },
             { { "", "", { "~|question|M\xFCller Studio 1.0 will be installed on your computer.\nDo you want to continue?|Yes,[No]>Yes",
                           "~|dialog|license=M\xDCLLER STUDIO LICENSE|accept", kOptionsInstall, kInstallDone }, 0 },
               { "C:\\Program Files\\M\xFCller Studio\\setup.exe", "-u", { kYesToUninstall, kUninstallDone }, 0 } },
             { "log:AppName=\"M\xFCller Studio\"", "log:Deleted file \"C:\\Program Files\\M\xFCller Studio\\a.txt\"", "absent:{dir}",
               "nokey:HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\M\xFCller Studio 1.0", "logs:0" } };
}

// Folders at any depth: the installation folder's parent, a program group in a folder of its own
// and a destination folder below the installation folder are made, recorded, and removed whole.
const std::string kNested = "[Main]\r\nAppName=Nested\r\nAppVersion=1.0\r\nDefaultProgramGroup=Vendor\\Nested\r\n"
    "DefaultInstallDir=%ProgramFilesDir%\\Vendor\\Nested\r\nStartMenuFolder=%CommonProgramsFolder%\r\n"
    "[Files]\r\nfactory.preset=%InstallDir%\\Presets\\Factory\r\n";
const std::string kVendor = "C:\\Program Files\\Vendor", kNestedDir = kVendor + "\\Nested";

const Case kDepths[] = {
    SavedAs("utf8"), SavedAs("utf8bom"), SavedAs("utf16"),
    { "folders at any depth are made and recorded", kNested, { "file:{product}\\factory.preset=p" },
      { { "", "", { kYesToInstall, kOptionsInstall, kInstallDone }, 0 } },
      { "content:" + kNestedDir + "\\Presets\\Factory\\factory.preset=p",
        "contains:" + kNestedDir + "\\uninst.ini=AppName \"Nested\"\r\nCreateDir \"" + kVendor + "\" parent\r\nCreateDir \"" + kNestedDir +
        "\"\r\nCreateFile \"" + kNestedDir + "\\uninst.ini\"\r\nCreateDir \"{common}\\Vendor\" parent\r\nCreateDir \"{common}\\Vendor\\Nested\"\r\n",
        "contains:" + kNestedDir + "\\uninst.ini=\r\nCreateDir \"" + kNestedDir + "\\Presets\" parent\r\nCreateDir \"" + kNestedDir +
        "\\Presets\\Factory\" parent\r\nCreateFile \"" + kNestedDir + "\\Presets\\Factory\\factory.preset\"\r\n",
        "exists:{common}\\Vendor\\Nested\\Uninstall Nested.lnk" },
      [] { RemoveTree(kVendor); RemoveTree(e2e::CommonProgramsFolder() + "\\Vendor"); } },
    { "folders at any depth are removed whole", kNested, { "file:{product}\\factory.preset=p", "installed" },
      { { kNestedDir + "\\setup.exe", "-u", { kYesToUninstall, kUninstallDone }, 0 } },
      { "absent:" + kVendor, "absent:{common}\\Vendor", "notemp:", "logs:0" } },
};

class Installation : public e2e::CaseTest {};
TEST_P(Installation, AsTheUserSeesIt) { e2e::RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Rows, Installation, ::testing::ValuesIn(kInstallations), e2e::CaseName);
INSTANTIATE_TEST_SUITE_P(Depths, Installation, ::testing::ValuesIn(kDepths), e2e::CaseName);

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

// Version 2 over version 1. Version 1 has a service whose program lies in the system folder, a
// legacy driver, the entry in the list of installed programs and a file version 2 no longer ships;
// version 2 has the same service with its program in the installation folder, the same driver, a
// preset folder and a shortcut with arguments.
const std::string kEarlier = "C:\\e2e\\studio-1.0";
std::string Studio(const std::string &version, const std::string &extra)
{
    return "[Main]\r\nAppName=Studio\r\nAppVersion=" + version + "\r\nDefaultProgramGroup=Studio\r\n"
           "DefaultInstallDir=%ProgramFilesDir%\\%AppName%\r\nStartMenuFolder=%CommonProgramsFolder%\r\n" + extra;
}
const std::string kStudioDriver = "DeviceName=Studio Device\r\nMmeDriverModule=testdrv.dll\r\nMmeDriverCategories=wave\r\n";
const std::string kStudio1 = Studio("1.0", "RegisterUninstaller=1\r\n" + kStudioDriver + "ServiceName=SetupE2eStudio\r\n"
    "ServiceImage=%WindowsDir%\\system32\\studiosvc.exe\r\nServiceType=16\r\nServiceStartup=2\r\n[Files]\r\n"
    "studiosvc.exe=%WindowsDir%\\system32\r\ntestdrv.dll=%WindowsDir%\\system32\r\nold.txt=%InstallDir%\r\ncommon.txt=%InstallDir%\r\n");
const std::string kStudio2 = Studio("2.0", "RegisterUninstaller=1\r\n" + kStudioDriver + "ServiceName=SetupE2eStudio\r\n"
    "ServiceImage=%InstallDir%\\studiosvc.exe\r\nServiceType=16\r\nServiceStartup=2\r\n[Files]\r\nstudiosvc.exe=%InstallDir%\r\n"
    "testdrv.dll=%WindowsDir%\\system32\r\ncommon.txt=%InstallDir%\r\nfactory.preset=%InstallDir%\\Presets\r\n"
    "[Links]\r\nStudio=%InstallDir%\\common.txt,%InstallDir%\\studio.ini\r\n");

// The earlier version's product folder, installed first.
std::vector<std::string> EarlierInstalled(const std::string &script)
{
    return { "folder:" + kEarlier, "file:" + kEarlier + "\\setup.ini=" + script, "copy:" + kEarlier + "\\setup.exe=SETUP_EXE",
             "copy:" + kEarlier + "\\studiosvc.exe=TEST_SERVICE_EXE", "copy:" + kEarlier + "\\testdrv.dll=TEST_DRIVER_DLL",
             "file:" + kEarlier + "\\old.txt=1", "file:" + kEarlier + "\\common.txt=1", "installed:" + kEarlier };
}
const std::vector<std::string> kStudio2Files = { "copy:{product}\\studiosvc.exe=TEST_SERVICE_EXE", "copy:{product}\\testdrv.dll=TEST_DRIVER_DLL",
                                                 "file:{product}\\common.txt=2", "file:{product}\\factory.preset=p" };
const std::string kStudioKey = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Studio ";
const std::string kDrivers32 = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32|";
// (A dialog's checks are joined by ";": the notice's own is matched by "*".)
const char kStudioNotice[] = "~|dialog|dir={dir};warning=Important!\nStudio 1.0 is installed in \"{dir}\". It is removed before this "
                             "version is installed* files you added to its folder stay there.|install";
const char kRemoveStudio[] = "~|question|Studio 1.0 is installed in \"{dir}\".\nIt will be removed before Studio 2.0 is installed; "
                             "files you added to its folder stay there.\n\nDo you want to continue?|Yes,[No]>Yes";
const std::vector<std::string> kNothingOfEither = {
    "absent:{dir}", "absent:{group}", "nokey:" + kStudioKey + "1.0", "nokey:" + kStudioKey + "2.0", "service:SetupE2eStudio=absent",
    "absent:C:\\windows\\system32\\studiosvc.exe", "absent:C:\\windows\\system32\\testdrv.dll", "value:" + kDrivers32 + "wave1=" };

void CleanStudio()
{
    ClearDriverKeys();
    DeleteFileA("C:\\windows\\system32\\testdrv.dll");
    DeleteFileA("C:\\windows\\system32\\studiosvc.exe");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Studio 1.0");
}

const Case kUpgrades[] = {
    { "version 2 over version 1", kStudio2, With(EarlierInstalled(kStudio1), kStudio2Files),
      { { "", "", { kYesToInstall, kStudioNotice, kRemoveStudio, kInstallDone }, 0 } },
      { "files:{dir}=Presets,common.txt,install.log,setup.exe,studiosvc.exe,uninst.ini", "content:{dir}\\common.txt=2",
        "nokey:" + kStudioKey + "1.0", "value:" + kStudioKey + "2.0|DisplayName=Studio 2.0", "service:SetupE2eStudio=running",
        "value:HKLM\\System\\CurrentControlSet\\Services\\SetupE2eStudio|ImagePath={dir}\\studiosvc.exe",
        "absent:C:\\windows\\system32\\studiosvc.exe", "value:" + kDrivers32 + "wave1=testdrv.dll", "value:" + kDrivers32 + "wave2=",
        "link:{group}\\Studio.lnk={dir}\\common.txt|{dir}\\studio.ini", "log:Removing the earlier version in \"{dir}\"" },
      CleanStudio },
    { "version 2 uninstalled after the upgrade leaves nothing of either", kStudio2, With(EarlierInstalled(kStudio1), kStudio2Files),
      { { "", "", { kYesToInstall, kStudioNotice, kRemoveStudio, kInstallDone }, 0 },
        { "{dir}\\setup.exe", "-u", { kYesToUninstall, kUninstallDone }, 0 } },
      With(kNothingOfEither, { "notemp:" }), CleanStudio },
    { "a version 2 that fails leaves nothing of either", Replaced(kStudio2, "[Links]", "missing.txt=%InstallDir%\r\n[Links]"), With(EarlierInstalled(kStudio1), kStudio2Files),
      { { "", "", { kYesToInstall, kStudioNotice, kRemoveStudio,
                    "~|error|Cannot open \"{product}\\missing.txt\" (0/2 - File not found.)|[OK]",
                    "~|error|Installation aborted.\n\nStudio 1.0 was removed before this installation began.{keep}|Yes,[No]>No" }, 1 } },
      kNothingOfEither, CleanStudio },
    // Without an entry in the list of programs, the journal is trusted only in a folder that only
    // administrators may change: one every user may change could hold a planted journal.
    { "an earlier journal in a folder every user may change is refused", kStudio2,
      With(EarlierInstalled(Replaced(kStudio1, "RegisterUninstaller=1\r\n", "")), With(kStudio2Files, { "open:{dir}" })),
      { { "", "", { kYesToInstall, kOptionsInstall,
                    "~|error|Cannot remove Studio from \"{dir}\": users other than administrators may change that folder, so its "
                    "uninstall journal cannot be trusted.\nUninstall it with its own uninstaller, or choose another folder.|[OK]",
                    kInstallAborted }, 1 } },
      { "exists:{dir}\\old.txt", "service:SetupE2eStudio=running", "value:" + kDrivers32 + "wave1=testdrv.dll" },
      [] {
          DeleteServiceNamed("SetupE2eStudio");
          CleanStudio();
      } },
    // Another product's entry names a folder every user may change, where someone left a journal
    // with this product's name that would delete a file of theirs choosing: it is refused too.
    { "a journal planted where another product's entry points is refused", kStudio2,
      With(kStudio2Files, { "folder:C:\\e2e\\shared", "open:C:\\e2e\\shared", "file:C:\\e2e\\victim.txt=keep",
                            "file:C:\\e2e\\shared\\uninst.ini=AppName \"Studio\"\r\nCreateFile \"C:\\e2e\\victim.txt\"\r\n",
                            "sz:HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other Tool|InstallLocation=C:\\e2e\\shared" }),
      { { "", "", { kYesToInstall, "~|dialog|dir=C:\\e2e\\shared|install",
                    "~|error|Cannot remove Other Tool from \"C:\\e2e\\shared\": users other than administrators may change that folder, so "
                    "its uninstall journal cannot be trusted.\nUninstall it with its own uninstaller, or choose another folder.|[OK]",
                    kInstallAborted }, 1 } },
      { "content:C:\\e2e\\victim.txt=keep", "absent:{dir}" },
      [] { RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other Tool"); } },
};

class Upgrade : public e2e::CaseTest {};
TEST_P(Upgrade, RemovesTheEarlierVersionFirst) { e2e::RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Rows, Upgrade, ::testing::ValuesIn(kUpgrades), e2e::CaseName);

}  // namespace
