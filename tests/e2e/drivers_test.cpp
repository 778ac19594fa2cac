// Legacy audio drivers as a user installs and removes them: registered in the Drivers32 keys and
// told DRV_INSTALL under the progress window, told DRV_REMOVE by the primary uninstaller, a
// module that refuses rolled back, and a registered one replaced only by an advanced user.
#include <gtest/gtest.h>
#include "runner.h"

namespace {

using namespace e2e;

const std::string kDrivers = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\";
const char kDriverLines[] = "DeviceName=Demo Device\r\nMmeDriverModule=testdrv.dll\r\nMmeDriverCategories=wave,mixer\r\n"
                            "[Files]\r\ntestdrv.dll=%WindowsDir%\\system32\r\n";
const std::string kScript = e2e::Script("Sound Driver", kDriverLines);
const char kReceived[] = "value:HKLM\\Software\\BrindleworkTestDriver|Received=";

std::string Entry(const char *key, const char *name, const char *data = "testdrv.dll")
{
    return "value:" + kDrivers + key + "|" + name + "=" + data;
}

const std::vector<std::string> kUnregistered = {
    Entry("Drivers32", "wave1", ""), Entry("Drivers32", "mixer1", ""), Entry("Userinstallable.drivers", "wave1", ""),
    Entry("Userinstallable.drivers", "mixer1", ""), Entry("drivers.desc", "testdrv.dll", ""),
};

// Whatever a failed case left in the shared keys must not disturb the next one.
void CleanDriverKeys()
{
    ClearDriverKeys();
    DeleteFileA("C:\\windows\\system32\\testdrv.dll");
}

const std::vector<std::string> kModule = { "copy:{product}\\testdrv.dll=TEST_DRIVER_DLL" };
const std::vector<std::string> kRegisteredBefore = {
    "copy:{product}\\testdrv.dll=TEST_DRIVER_DLL", "copy:C:\\windows\\system32\\testdrv.dll=TEST_DRIVER_DLL",
    "sz:" + kDrivers + "Drivers32|wave1=testdrv.dll", "sz:" + kDrivers + "drivers.desc|testdrv.dll=Old Device",
};

const Case kCases[] = {
    { "a module installed under the progress window", kScript,
      { kModule[0], "dword:HKLM\\Software\\BrindleworkTestDriver|DelayMs=2500" },
      { { "", "", { kYesToInstall, kOptionsInstall, "~|progress|progress=Installing Demo Device device driver...|wait", kInstallDone }, 0 } },
      { Entry("Drivers32", "wave1"), Entry("Drivers32", "mixer1"), Entry("Userinstallable.drivers", "wave1"),
        Entry("Userinstallable.drivers", "mixer1"), Entry("drivers.desc", "testdrv.dll", "Demo Device"),
        std::string(kReceived) + "9 696E7374 setup.exe;", "contains:{dir}\\uninst.ini=\r\nInstallMmeDriver \"testdrv.dll\"\r\n" },
      CleanDriverKeys },
    { "a registered module stops a normal user", kScript, kRegisteredBefore,
      { { "", "", { kYesToInstall, kOptionsInstall, "~|error|Device \"Demo Device\" is already present|[OK]", kInstallAborted }, 1 } },
      { Entry("drivers.desc", "testdrv.dll", "Old Device"), "absent:{dir}" }, CleanDriverKeys },
    { "an advanced user replaces a registered module", kScript, kRegisteredBefore,
      { { "", "", { kYesToInstall, "~|dialog||advanced,install",
                    "~|warning|Device \"Demo Device\" is already registered in the system.*|[OK],Cancel>OK",
                    "~|warning|File \"C:\\windows\\system32\\testdrv.dll\" already exists.\nDo you want to overwrite it?|Yes,[No]>Yes",
                    "~|warning|Installation completed with some warnings.{kept}|[OK]", "*install.log*|window||close" }, 1 } },
      { Entry("Drivers32", "wave1"), Entry("drivers.desc", "testdrv.dll", "Demo Device"),
        std::string(kReceived) + "10 72656D76 setup.exe;9 696E7374 setup.exe;" },
      CleanDriverKeys },
    // The second uninstaller's folder is made before the first phase: when it cannot be (here the
    // system's temporary folder is a file), nothing is removed and the driver stays.
    { "a folder for the second uninstaller that cannot be made keeps the driver", kScript,
      { kModule[0], "installed", "move:C:\\windows\\Temp=C:\\windows\\Temp.moved", "file:C:\\windows\\Temp=not a folder" },
      { { "{dir}\\setup.exe", "-u", { kYesToUninstall,
                                      "~|error|Cannot create directory \"C:\\windows\\Temp\\brindlework_setup_*\" (0/*)|[OK]",
                                      "~|error|Uninstallation (first phase) aborted.{keep}|Yes,[No]>No" }, 1 } },
      { Entry("drivers.desc", "testdrv.dll", "Demo Device"), Entry("Drivers32", "wave1"), "exists:{dir}\\setup.exe",
        "nolog:Unregistering driver module*" },
      CleanDriverKeys },
    // The primary uninstaller, still in the installation folder, tells the module to remove itself.
    // On a machine with one sound device (the harness's ALSA null device) the devices preferred
    // before the new driver arrived became the user's recorded choice, and stay.
    { "the primary uninstaller removes the module, the preferred devices stay", kScript,
      { kModule[0], "sz:HKCU\\Software\\Wine\\Drivers|Audio=alsa", "installed" },
      { { "{dir}\\setup.exe", "-u", { kYesToUninstall, kUninstallDone }, 0 } },
      With(kUnregistered, { std::string(kReceived) + "9 696E7374 setup.exe;10 72656D76 setup.exe;", "absent:C:\\windows\\system32\\testdrv.dll",
                            "value:HKCU\\Software\\Microsoft\\Multimedia\\Sound Mapper|Playback=Out: default",
                            "value:HKCU\\Software\\Microsoft\\Multimedia\\Sound Mapper|Record=In: default" }),
      [] {
          CleanDriverKeys();
          RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Multimedia\\Sound Mapper");
      } },
};

class LegacyDriver : public e2e::CaseTest {};
TEST_P(LegacyDriver, InstalledRemovedRefusedAndReplaced) { e2e::RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Rows, LegacyDriver, ::testing::ValuesIn(kCases), e2e::CaseName);

}  // namespace

namespace {

// The Plug and Play device under this Wine, which cannot change a device's state: the
// installation shows the real failure at the first state change and rolls everything back. The
// installers' success, the own installer's INF copies included, is proven in process, where a
// test double takes the two missing calls.
const std::string kWdmScript = e2e::Script("Wdm Audio",
    "DeviceName=Setup Test Audio Device\r\nDeviceHardwareId=ROOT\\SETUPTESTAUDIO\r\nWdmDriverInfFile=test_audio.inf\r\n"
    "[Files]\r\nsetuptestaudio.sys=%WindowsDir%\\system32\\drivers\r\n");
const std::vector<std::string> kWdmFiles = { "copy:{product}\\test_audio.inf=TEST_AUDIO_INF",
                                             "copy:{product}\\setuptestaudio.sys=TEST_AUDIO_SYS" };
const char kStateRefused[] = "~|error|Cannot set class installer params (0/0 - *)|[OK]";
const std::vector<std::string> kNothingLeft = { "devices:ROOT\\SETUPTESTAUDIO=0", "absent:{dir}", "service:SetupTestAudio=absent",
                                                "absent:C:\\windows\\system32\\drivers\\setuptestaudio.sys" };

const Case kWdmCases[] = {
    // The standard installer disables the new device before the system installs its driver.
    { "the standard installer on Windows 7", kWdmScript, kWdmFiles,
      { { "", "", { kYesToInstall, kOptionsInstall, kStateRefused, "~|error|Cannot disable device (0/0 - *)|[OK]", kInstallAborted }, 1 } },
      With(kNothingLeft, { "log:Using standard system installer", "log:Removed device \"ROOT\\MEDIA\\*\"" }) },
    { "a present device stops a normal user", kWdmScript, With(kWdmFiles, { "device:ROOT\\SETUPTESTAUDIO" }),
      { { "", "", { kYesToInstall, kOptionsInstall, "~|error|Device \"Setup Test Audio Device\" is already present|[OK]",
                    kInstallAborted }, 1 } },
      { "devices:ROOT\\SETUPTESTAUDIO=1", "absent:{dir}" } },
    { "an advanced user's OK removes the present device first", kWdmScript, With(kWdmFiles, { "device:ROOT\\SETUPTESTAUDIO" }),
      { { "", "", { kYesToInstall, "~|dialog||advanced,install",
                    "~|warning|Device \"Setup Test Audio Device\" is already registered in the system.*|[OK],Cancel>OK",
                    kStateRefused, "~|error|Cannot disable device (0/0 - *)|[OK]", kInstallAborted }, 1 } },
      { "devices:ROOT\\SETUPTESTAUDIO=0", "absent:{dir}", "log:Replace enabled", "log:Removed device \"ROOT\\MEDIA\\*\"" } },
};

class WdmDevice : public e2e::CaseTest {};
TEST_P(WdmDevice, RefusedStateChangeRolledBackAndPresentDeviceReplaced) { e2e::RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Rows, WdmDevice, ::testing::ValuesIn(kWdmCases), e2e::CaseName);

}  // namespace
