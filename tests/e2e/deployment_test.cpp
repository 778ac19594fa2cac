// Deployment as a tool does it, with -s: no window at all, every question answered as documented,
// the exit code of the whole run (3010 when only a restart is missing), the trace log kept in the
// temporary folder, and the entry in the list of installed programs a tool reads.
#include <gtest/gtest.h>
#include "runner.h"

namespace {

using namespace e2e;

const char kKey[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Deployed 1.0";
const std::string kDrivers32 = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32|";
const std::string kFull = e2e::Script("Deployed",
    "Publisher=Brindlework Test Audio\r\nLicenseFile=license.txt\r\nRegisterUninstaller=1\r\nDeviceName=Deployed Device\r\nMmeDriverModule=testdrv.dll\r\n"
    "MmeDriverCategories=wave\r\nServiceName=SetupE2eDeployed\r\nServiceImage={testservice}\r\nServiceType=16\r\n"
    "ServiceStartup=2\r\n[Files]\r\na.txt=%InstallDir%\r\ntestdrv.dll=%WindowsDir%\\system32\r\n[Links]\r\nA=%InstallDir%\\a.txt\r\n");
const std::vector<std::string> kFullFiles = { "file:{product}\\a.txt=" + std::string(3000, 'a'), "file:{product}\\license.txt=terms",
                                              "copy:{product}\\testdrv.dll=TEST_DRIVER_DLL" };
const std::string kSimple = e2e::Script("Deployed", "RegisterUninstaller=1\r\n[Files]\r\na.txt=%InstallDir%\r\nb.dll=%InstallDir%\r\n");
const std::vector<std::string> kSimpleFiles = { "file:{product}\\a.txt=a", "file:{product}\\b.dll=b" };
const std::vector<std::string> kNothingLeft = { "absent:{dir}", "absent:{group}", std::string("nokey:") + kKey, "notemp:" };

std::string Value(const char *name, const std::string &data)
{
    return std::string("value:") + kKey + "|" + name + "=" + data;
}

void CleanDeployed()
{
    DeleteServiceNamed("SetupE2eDeployed");
    ClearDriverKeys();
    DeleteFileA("C:\\windows\\system32\\testdrv.dll");
}

ULONGLONG FileSize(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    EXPECT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
    return ((ULONGLONG)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

// The entry's numbers are DWORDs, the size the kilobytes of the three files copied.
void CheckEntryNumbers()
{
    const std::string dir = "C:\\Program Files\\Deployed";
    ULONGLONG bytes = FileSize(dir + "\\a.txt") + FileSize(dir + "\\setup.exe") + FileSize("C:\\windows\\system32\\testdrv.dll");
    const std::string subkey = std::string(kKey).substr(5);
    for (const auto &number : { std::make_pair("EstimatedSize", (DWORD)((bytes + 1023) / 1024)), std::make_pair("NoRepair", 1ul) }) {
        DWORD data = 0, size = sizeof data;
        EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, subkey.c_str(), number.first, RRF_RT_REG_DWORD, NULL, &data, &size), ERROR_SUCCESS);
        EXPECT_EQ(data, number.second) << number.first;
    }
    CleanDeployed();
}

// An installation started as soon as a silent uninstallation has given its exit code waits until
// the second process has deleted the first one's program and the folder.
void InstallRightAfterUninstall()
{
    const std::string dir = "C:\\Program Files\\Deployed";
    robot::Session uninstall, install;
    ASSERT_TRUE(uninstall.Start(dir + "\\setup.exe", "-u -s", dir)) << uninstall.LastError();
    DWORD code = 99, deadline = GetTickCount() + 60000;
    for (bool ended = false; !ended && GetTickCount() < deadline; Sleep(robot::kPollMs)) {
        uninstall.Running();
        for (const robot::ProcessInfo &process : uninstall.Processes())
            ended = ended || (process.pid == uninstall.RootPid() && process.ended);
    }
    const std::string product = "C:\\e2e\\reinstalled_at_once";
    ASSERT_TRUE(install.Start(product + "\\setup.exe", "-s", product)) << install.LastError();
    EXPECT_TRUE(uninstall.WaitExit(60000, &code)) << uninstall.LastError();
    EXPECT_EQ(code, 0u) << "the uninstallation";
    EXPECT_TRUE(install.WaitExit(60000, &code)) << install.LastError();
    EXPECT_EQ(code, 0u) << "the installation";
    for (const char *file : { "\\a.txt", "\\b.dll", "\\setup.exe", "\\uninst.ini" })
        EXPECT_TRUE(PathExists(dir + file)) << file;
    EXPECT_TRUE(RegistryKeyExists(kKey));
}

const Case kSilentRuns[] = {
    // Installed as a user who takes the proposed folders and answers Yes would have it.
    { "a silent installation with a service and a legacy driver", kFull, kFullFiles,
      { { "", "-s", {}, 0 } },
      { "files:{dir}=a.txt,install.log,setup.exe,uninst.ini", "link:{group}\\A.lnk={dir}\\a.txt||{dir}", "service:SetupE2eDeployed=running",
        "value:" + kDrivers32 + "wave1=testdrv.dll", Value("DisplayName", "Deployed 1.0"), Value("UninstallString", "{dir}\\setup.exe -u"),
        Value("DisplayVersion", "1.0"), Value("Publisher", "Brindlework Test Audio"), Value("InstallLocation", "{dir}"),
        Value("InstallDate", "{today}"), Value("QuietUninstallString", "{dir}\\setup.exe -u -s"),
        "contains:{dir}\\install.log=Installation completed successfully.", "logs:1", "log:License agreement accepted by the silent installation",
        "log:MessageBox: Deployed 1.0 will be installed on your computer.*", "log:Answered 6 without showing the box",
        "log:The user is normal" },
      CheckEntryNumbers },
    // Windows starts the registered command as it stands; the exit code is the whole removal's.
    { "a silent uninstallation through QuietUninstallString", kFull, With(kFullFiles, { "installed" }),
      { { "{dir}\\setup.exe", "={quiet}", {}, 0 } },
      With(kNothingLeft, { "service:SetupE2eDeployed=absent", "absent:C:\\windows\\system32\\testdrv.dll",
                           "value:" + kDrivers32 + "wave1=", "logs:2", "log:Command Line: \"-u -s\"",
                           "log:Secondary process status 0", "log:Uninstallation completed successfully." }),
      CleanDeployed },
    { "a file held open makes a silent uninstallation end with 3010", kSimple, With(kSimpleFiles, { "installed", "hold:{dir}\\b.dll" }),
      { { "{dir}\\setup.exe", "-u -s", {}, 3010 } },
      { "absent:{dir}\\a.txt", "exists:{dir}\\b.dll", "pending:{dir}\\b.dll*{dir}", std::string("nokey:") + kKey,
        "log:MessageBox: File \"{dir}\\b.dll\" being deleted is currently in use.*", "log:Answered 7 without showing the box",
        "log:Secondary process status 0 (a restart is needed)" } },
    { "a silent installation that fails is rolled back", Replaced(kSimple, "[Files]\r\n", "[Files]\r\nmissing.txt=%InstallDir%\r\n"),
      kSimpleFiles, { { "", "-s", {}, 1 } },
      With(kNothingLeft, { "logs:1", "log:MessageBox: Cannot open \"{product}\\missing.txt\" (0/2 - File not found.)",
                           "log:Installation aborted." }) },
    { "a silent installation into the folder -d names", kSimple, kSimpleFiles,
      { { "", "-s -d \"C:\\Other Folder\"", {}, 0 } },
      { "files:C:\\Other Folder=a.txt,b.dll,install.log,setup.exe,uninst.ini", "absent:{dir}",
        Value("InstallLocation", "C:\\Other Folder"), Value("QuietUninstallString", "C:\\Other Folder\\setup.exe -u -s") },
      [] { RemoveTree("C:\\Other Folder"); } },
    { "reinstalled at once", kSimple, With(kSimpleFiles, { "installed" }), {}, {}, InstallRightAfterUninstall },
};

class Silent : public e2e::CaseTest {};
TEST_P(Silent, NoWindowAndTheExitCodeOfTheWholeRun) { e2e::RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Rows, Silent, ::testing::ValuesIn(kSilentRuns), e2e::CaseName);

}  // namespace
