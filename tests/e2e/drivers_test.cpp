// Legacy audio drivers as a user installs and removes them: registered in the Drivers32 keys and
// told DRV_INSTALL under the progress window, told DRV_REMOVE by the primary uninstaller, a
// module that refuses rolled back, and a registered one replaced only by an advanced user.
#include <gtest/gtest.h>
#include "runner.h"

namespace {

using e2e::Case;

const std::string kDrivers = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\";
const std::string kScript = e2e::Script("Sound Driver",
    "DeviceName=Demo Device\r\nMmeDriverModule=testdrv.dll\r\nMmeDriverCategories=wave,mixer\r\n"
    "[Files]\r\ntestdrv.dll=%WindowsDir%\\system32\r\n");
const char kPrompt[] = "~|question|Sound Driver 1.0 will be installed on your computer.\nDo you want to continue?|Yes,[No]>Yes";
const char kDone[] = "~|information|Installation completed successfully.|[OK]";
const char kAborted[] = "~|error|Installation aborted.{keep}|Yes,[No]>No";
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
    for (const char *key : { "Drivers32", "Userinstallable.drivers", "drivers.desc" }) {
        HKEY handle;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kDrivers.substr(5) + key).c_str(), 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS)
            continue;
        char name[MAX_PATH];
        for (DWORD size = MAX_PATH; RegEnumValueA(handle, 0, name, &size, NULL, NULL, NULL, NULL) == ERROR_SUCCESS; size = MAX_PATH)
            RegDeleteValueA(handle, name);
        RegCloseKey(handle);
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\BrindleworkTestDriver");
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    DeleteFileA((std::string(system) + "\\testdrv.dll").c_str());
}

const std::vector<std::string> kModule = { "copy:{product}\\testdrv.dll=TEST_DRIVER_DLL" };
const std::vector<std::string> kRegisteredBefore = {
    "copy:{product}\\testdrv.dll=TEST_DRIVER_DLL", "copy:C:\\windows\\system32\\testdrv.dll=TEST_DRIVER_DLL",
    "sz:" + kDrivers + "Drivers32|wave1=testdrv.dll", "sz:" + kDrivers + "drivers.desc|testdrv.dll=Old Device",
};

const Case kCases[] = {
    { "a module installed under the progress window", kScript,
      { kModule[0], "dword:HKLM\\Software\\BrindleworkTestDriver|DelayMs=2500" },
      { { "", "", { kPrompt, "~|dialog||install", "~|progress|1004=Installing Demo Device device driver...|wait", kDone }, 0 } },
      { Entry("Drivers32", "wave1"), Entry("Drivers32", "mixer1"), Entry("Userinstallable.drivers", "wave1"),
        Entry("Userinstallable.drivers", "mixer1"), Entry("drivers.desc", "testdrv.dll", "Demo Device"),
        std::string(kReceived) + "9 696E7374 setup.exe;", "contains:{dir}\\uninst.ini=\r\nInstallMmeDriver \"testdrv.dll\"\r\n" },
      CleanDriverKeys },
    // The primary uninstaller, still in the installation folder, tells the module to remove itself.
    { "the primary uninstaller removes the module", kScript, { kModule[0], "installed" },
      { { "{dir}\\setup.exe", "-u", { "~|question|Do you really want to uninstall Sound Driver?|Yes,[No]>Yes",
                                      "Setup|information|Uninstallation completed successfully.|[OK]" }, 0 } },
      { kUnregistered[0], kUnregistered[1], kUnregistered[2], kUnregistered[3], kUnregistered[4],
        std::string(kReceived) + "9 696E7374 setup.exe;10 72656D76 setup.exe;", "absent:C:\\windows\\system32\\testdrv.dll" },
      CleanDriverKeys },
    { "a module that refuses DRV_INSTALL is rolled back", kScript,
      { kModule[0], "dword:HKLM\\Software\\BrindleworkTestDriver|InstallAnswer=0" },
      { { "", "", { kPrompt, "~|dialog||install", "~|error|Driver failed processing message 0x9 (code 0x0)|[OK]", kAborted }, 1 } },
      { kUnregistered[0], kUnregistered[1], kUnregistered[4], "absent:{dir}", "absent:C:\\windows\\system32\\testdrv.dll" },
      CleanDriverKeys },
    { "a registered module stops a normal user", kScript, kRegisteredBefore,
      { { "", "", { kPrompt, "~|dialog||install", "~|error|Device \"Demo Device\" is already present|[OK]", kAborted }, 1 } },
      { Entry("drivers.desc", "testdrv.dll", "Old Device"), "absent:{dir}" }, CleanDriverKeys },
    { "an advanced user replaces a registered module", kScript, kRegisteredBefore,
      { { "", "", { kPrompt, "~|dialog||advanced,install",
                    "~|warning|Device \"Demo Device\" is already registered in the system.*|[OK],Cancel>OK",
                    "~|warning|File \"C:\\windows\\system32\\testdrv.dll\" already exists.\nDo you want to overwrite it?|Yes,[No]>Yes",
                    "~|warning|Installation completed with some warnings.{kept}|[OK]", "*install.log*|window||close" }, 1 } },
      { Entry("Drivers32", "wave1"), Entry("drivers.desc", "testdrv.dll", "Demo Device"),
        std::string(kReceived) + "10 72656D76 setup.exe;9 696E7374 setup.exe;" },
      CleanDriverKeys },
    // A machine with one sound device (the harness's ALSA null device): the devices preferred
    // before the new driver arrives become the user's recorded choice, and stay after the
    // uninstallation.
    { "the preferred wave devices are recorded and stay", kScript,
      { kModule[0], "sz:HKCU\\Software\\Wine\\Drivers|Audio=alsa", "installed" },
      { { "{dir}\\setup.exe", "-u", { "~|question|Do you really want to uninstall Sound Driver?|Yes,[No]>Yes",
                                        "Setup|information|Uninstallation completed successfully.|[OK]" }, 0 } },
      { "value:HKCU\\Software\\Microsoft\\Multimedia\\Sound Mapper|Playback=Out: default",
        "value:HKCU\\Software\\Microsoft\\Multimedia\\Sound Mapper|Record=In: default", kUnregistered[0] },
      [] {
          CleanDriverKeys();
          RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Multimedia\\Sound Mapper");
      } },
};

TEST(LegacyDriver, InstalledRemovedRefusedAndReplaced)
{
    for (const Case &c : kCases)
        e2e::RunCase(c);
}

}  // namespace
