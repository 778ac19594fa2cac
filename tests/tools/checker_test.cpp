// The setup.ini checker: a script and the files beside it, and every finding it must report, in
// order. The findings are patterns: "*" stands for any text (paths of the test's own folder).
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>
#include "checker.h"
#include "machine.h"
#include "robot.h"

namespace {

struct CheckerCase {
    const char *name;
    std::string folder;                  // a product folder to check as it is; else the script
    std::string script;
    std::vector<std::string> files;      // made beside it
    std::vector<std::string> findings;
};

const std::string kMain = "[Main]\r\nAppName=Checked\r\nAppVersion=1.0\r\nDefaultProgramGroup=Checked\r\n"
                          "DefaultInstallDir=%ProgramFilesDir%\\%AppName%\r\nStartMenuFolder=%CommonProgramsFolder%\r\n";

std::string Entries(const char *section, int count)
{
    std::string text = std::string("[") + section + "]\r\n";
    for (int i = 0; i < count; i++)
        text += std::string(section) + std::to_string(i) + "=%InstallDir%\\readme.txt\r\n";
    return text;
}

const std::string kService = "ServiceName=S\r\nServiceType=16\r\nServiceStartup=3\r\n";

const CheckerCase kCases[] = {
    { "the example product", robot::EnvPath("DEMO_PRODUCT"), "", {}, {} },
    // One of each kind of mistake, each found on its line. setup.ini and the license are saved in
    // UTF-8; the service's program and the legacy module are a DLL without DriverProc.
    { "two dozen mistakes", robot::EnvPath("MISTAKES_PRODUCT"), "", {},
      { "setup.ini:1: error: Key DefaultProgramGroup must be present (setup-ini.md#main)",
        "setup.ini:2: warning: AppName: the value holds ';', and all after it is part of the value; *",
        "setup.ini:5: warning: StartMenuFolder is the installing user's own Start Menu, but the product needs administrator rights: "
        "a standard user who elevates with another account's password gets the shortcuts in that account's Start Menu; *",
        "setup.ini:6: warning: license.txt: \"\xDC\" is missing from the code pages of *Japanese*: the license shows the nearest "
        "letter or a question mark there *",
        "setup.ini:7: warning: HelpFile: help.chm is not in the product folder, so the Help button stays hidden *",
        "setup.ini:8: warning: ReadmeFiel: unknown key; did you mean ReadmeFile? *",
        "setup.ini:9: warning: RegisterUninstaller is \"yes\": only 1 registers the uninstaller, anything else registers nothing *",
        "setup.ini:10: warning: DeviceName: \"\xFC\" is missing from the code pages of *Japanese* (*932*): the installation stops "
        "there before anything is installed; *",
        "setup.ini:10: error: Device description keys mismatch: DeviceName, DeviceHardwareId and WdmDriverInfFile go together (a Plug "
        "and Play device), or DeviceName, MmeDriverModule and MmeDriverCategories (a legacy driver, NT systems only); present: "
        "DeviceName, DeviceHardwareId, WdmDriverInfFile, MmeDriverModule, MmeDriverCategories *",
        "setup.ini:11: error: DeviceHardwareId ROOT\\MistakenAudioX: mistaken.inf installs no driver for it (its NTamd64 models name "
        "ROOT\\MistakenAudio) *",
        "setup.ini:12: error: mistaken.inf names the catalog mistaken.cat, which the product does not ship: 64-bit Windows refuses "
        "the package *",
        "setup.ini:12: error: mistaken.inf brings mistaken.sys ([SourceDisksFiles]), which the product does not ship: *",
        "setup.ini:13: error: mistaken.drv exports no DriverProc, the entry point the multimedia system calls: it cannot be installed, "
        "and the installation is undone *",
        "setup.ini:14: error: Invalid device type \"midi\" *",
        "setup.ini:16: error: mistaken.dll is a 64-bit DLL: a service's ServiceImage is a program (.exe); *",
        "setup.ini:18: error: ServiceStartup 5: Windows takes 0 to 4 *",
        "setup.ini:19: warning: AppVersion is given again in [Main] (first on line 3): the first value counts, this one is ignored *",
        "setup.ini:22: error: Duplicate key AppVersion *",
        "setup.ini:26: error: Cannot open \"*\\missing.txt\" (0/2 - *",
        "setup.ini:32: error: File \"C:\\Program Files\\Vendor\\Mistaken Audio\\readme.txt\" already exists: two entries install it *",
        "setup.ini:35: warning: %InstalDir%: no such variable; it stays as written *",
        "setup.ini:35: warning: Manual: no [Files] entry installs its target %InstalDir%\\manual.pdf *",
        "setup.ini:36: error: Settings: Mixer: a shortcut's name cannot hold ':' *; the installation fails there *",
        "setup.ini:38: error: [Fiels]: unknown section; did you mean [Files]? Nothing in it is installed *" } },
    { "no setup.ini", "", "", {}, { "setup.ini: error: Cannot open file \"*\\setup.ini\" (0/2 - *) (setup-ini.md#what-to-ship)" } },
    { "more than 50 links, the twin counted in", "",
      kMain + "[Files]\r\nreadme.txt=%InstallDir%\r\n" + Entries("Links", 30) + Entries("Links.NTamd64", 21), { "readme.txt" },
      { "setup.ini:61: error: Links.NTamd64 section has more than 20 entries (setup-ini.md#links)" } },
    { "a Plug and Play device's INF that 64-bit Windows cannot use", "",
      kMain + "DeviceName=D\r\nDeviceHardwareId=ROOT\\D\r\nWdmDriverInfFile=d.inf\r\n",
      { "d.inf=[Version]\r\nSignature=\"$Windows NT$\"\r\n[Manufacturer]\r\nMaker=Models\r\n[Models]\r\nD=Install,ROOT\\D\r\n" },
      { "setup.ini:8: error: d.inf's [Manufacturer] names no models section for NTamd64: 64-bit Windows finds no driver in it *",
        "setup.ini:9: error: d.inf names no Class and ClassGuid in [Version]: *",
        "setup.ini:9: error: d.inf names no DriverVer in [Version], which 64-bit Windows requires of a driver package *",
        "setup.ini:9: error: d.inf names no CatalogFile: 64-bit Windows refuses a driver package without a signed catalog *" } },
    // The installer's refusals each on the key they are about.
    { "a device without its INF, a service type in words", "",
      kMain + "DeviceName=D\r\nDeviceHardwareId=ROOT\\D\r\nServiceName=S\r\nServiceImage=%WindowsDir%\\notepad.exe\r\n"
              "ServiceType=own\r\nServiceStartup=3\r\n", {},
      { "setup.ini:7: error: Device description keys mismatch: * present: DeviceName, DeviceHardwareId (setup-ini.md#main)",
        "setup.ini:11: error: Invalid service type own (setup-ini.md#a-service)" } },
    { "a kernel driver's service type for a program", "", kMain + "ServiceName=S\r\nServiceType=1\r\nServiceStartup=3\r\n" +
      "ServiceImage=%WindowsDir%\\notepad.exe\r\n", {},
      { "setup.ini:8: error: ServiceType 1 makes a kernel driver, but notepad.exe is a 64-bit program: the service cannot start *" } },
    { "a service whose program nothing installs", "", kMain + kService + "ServiceImage=%InstallDir%\\studio.exe -x\r\n", {},
      { "setup.ini:10: error: ServiceImage: no [Files] entry installs C:\\Program Files\\Checked\\studio.exe -x: *" } },
    { "a 32-bit legacy module", "", kMain + "DeviceName=D\r\nMmeDriverModule=d.drv\r\nMmeDriverCategories=wave\r\n"
      "[Files]\r\nd.drv=%WindowsDir%\\system32\r\n", { "d.drv<TEST_DRIVER_DLL:i386" },
      { "setup.ini:8: error: d.drv is a 32-bit DLL, which the 64-bit system cannot load: it cannot be installed, *" } },
    { "a destination past the path limit", "", kMain + "[Files]\r\nreadme.txt=%InstallDir%\\" + std::string(240, 'p') + "\r\n",
      { "readme.txt" }, { "setup.ini:8: error: Cannot create \"C:\\Program Files\\Checked\\ppp*...\" (0/206 - *) (setup-ini.md#files)" } },
    { "variables in another case, an empty twin, a shortcut twice", "",
      kMain + "HelpFile=\r\n[Main.NTamd64]\r\nHelpFile=help.txt\r\n[Files]\r\nreadme.txt=%installdir%\r\n"
              "[Links]\r\nRead=%WindowsDir%\\notepad.exe\r\n[Links.NTamd64]\r\nRead=%WindowsDir%\\notepad.exe\r\n",
      { "readme.txt", "help.txt" },
      { "setup.ini:7: warning: HelpFile is also in [Main], empty: the value in [Main.NTamd64] counts (setup-ini.md#main)",
        "setup.ini:11: warning: %installdir%: variable names are case-sensitive; did you mean %InstallDir%? *",
        "setup.ini:15: warning: Read: a second shortcut of this name replaces the first *" } },
};

// A file made beside the script: "name=TEXT", or "name<ENVVAR" a copy of a fixture, with
// ":i386" its machine changed to 32-bit.
void MakeFile(const std::string &folder, const std::string &spec)
{
    size_t copy = spec.find('<');
    if (copy == std::string::npos) {
        size_t equals = spec.find('=');
        WriteTextFile(folder + "\\" + spec.substr(0, equals), equals != std::string::npos ? spec.substr(equals + 1) : "x");
        return;
    }
    std::string from = spec.substr(copy + 1), bytes = ReadFileText(robot::EnvPath(from.substr(0, from.find(':')).c_str()));
    if (from.find(":i386") != std::string::npos && bytes.size() > 0x40) {
        const IMAGE_DOS_HEADER *dos = (const IMAGE_DOS_HEADER *)bytes.data();
        ((IMAGE_NT_HEADERS *)&bytes[dos->e_lfanew])->FileHeader.Machine = IMAGE_FILE_MACHINE_I386;
    }
    WriteTextFile(folder + "\\" + spec.substr(0, copy), bytes);
}

TEST(Checker, FindsEveryProblemOnItsLine)
{
    for (const CheckerCase &c : kCases) {
        SCOPED_TRACE(c.name);
        std::string folder = c.folder;
        if (folder.empty()) {
            folder = TempFolder() + "\\checked";
            RemoveTree(folder);
            CreateDirectoryA(folder.c_str(), NULL);
            if (!c.script.empty())
                WriteTextFile(folder + "\\setup.ini", c.script);
            for (const std::string &file : c.files)
                MakeFile(folder, file);
        }
        std::vector<std::string> seen;
        for (const Finding &finding : CheckProduct(folder))
            seen.push_back(FindingText(finding));
        std::string all;
        for (const std::string &line : seen)
            all += "\n  " + line;
        ASSERT_EQ(seen.size(), c.findings.size()) << all;
        for (size_t i = 0; i < seen.size(); i++)
            EXPECT_TRUE(Matches(c.findings[i], seen[i])) << "expected " << c.findings[i] << "\n     saw " << seen[i];
        if (c.folder.empty())
            RemoveTree(folder);
    }
}

}  // namespace
