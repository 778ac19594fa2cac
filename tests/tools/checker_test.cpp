// The setup.ini checker: a script and the files beside it, and every finding it must report, in
// order. The findings are patterns: "*" stands for any text (paths of the test's own folder).
#include <gtest/gtest.h>
#include <string>
#include <vector>
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

const CheckerCase kCases[] = {
    { "the example product", robot::EnvPath("DEMO_PRODUCT"), "", {}, {} },
    // One of each kind of mistake, each found on its line.
    { "a dozen mistakes", robot::EnvPath("MISTAKES_PRODUCT"), "", {},
      { "setup.ini:1: error: Key DefaultProgramGroup must be present (setup-ini.md#main)",
        "setup.ini:2: warning: AppName: the value holds ';', and all after it is part of the value; *",
        "setup.ini:4: error: Cannot create directory \"C:\\Program Files\\Vendor\\Mistaken Audio\" (0/3 - *) on a fresh Windows: "
        "only the last folder of DefaultInstallDir is created *",
        "setup.ini:5: warning: %CommonProgamsFolder%: no such variable; it stays as written *",
        "setup.ini:6: error: Cannot open file \"license.txt\" (0/2 - *",
        "setup.ini:7: warning: HelpFile: help.chm is not in the product folder, so the Help button stays hidden *",
        "setup.ini:8: warning: RegisterUninstaller is \"yes\": only 1 registers the uninstaller, anything else registers nothing *",
        "setup.ini:10: warning: MmeDriverModule: no [Files] entry copies mistaken.drv into the system folder *",
        "setup.ini:11: error: Invalid device type \"midi\" *",
        "setup.ini:12: error: Service description is incomplete *",
        "setup.ini:13: warning: %InstallDir% is not known while [Main] is read: it expands to nothing *",
        "setup.ini:13: warning: ServiceImage: no [Files] entry installs \\service.exe *",
        "setup.ini:15: warning: ServiceStratup: unknown key; did you mean ServiceStartup? *",
        "setup.ini:18: error: Duplicate key AppVersion *",
        "setup.ini:22: error: Cannot open \"*\\missing.txt\" (0/2 - *",
        "setup.ini:23: error: Cannot create \"C:\\Program Files\\Vendor\\Mistaken Audio\\Presets\\presets.ini\" (0/3 - *): nothing "
        "creates the folder C:\\Program Files\\Vendor\\Mistaken Audio\\Presets *",
        "setup.ini:27: error: File \"C:\\Program Files\\Vendor\\Mistaken Audio\\readme.txt\" already exists: two entries install it *",
        "setup.ini:30: warning: Manual: no [Files] entry installs its target C:\\Program Files\\Vendor\\Mistaken Audio\\manual.pdf *",
        "setup.ini:32: warning: [Fiels]: unknown section; did you mean [Files]? *" } },
    { "no setup.ini", "", "", {}, { "setup.ini: error: Cannot open file \"*\\setup.ini\" (0/2 - *) (setup-ini.md#what-to-ship)" } },
    { "more than 50 links, the twin counted in", "",
      kMain + "[Files]\r\nreadme.txt=%InstallDir%\r\n" + Entries("Links", 30) + Entries("Links.NTamd64", 21), { "readme.txt" },
      { "setup.ini:61: error: Links.NTamd64 section has more than 20 entries (setup-ini.md#links)" } },
    { "a Plug and Play device's INF without a catalog", "", kMain + "DeviceName=D\r\nDeviceHardwareId=ROOT\\D\r\nWdmDriverInfFile=d.inf\r\n",
      { "d.inf=[Version]\r\nSignature=\"$Windows NT$\"\r\n" },
      { "setup.ini:9: warning: d.inf names no CatalogFile: 64-bit Windows refuses a driver package without a signed catalog *" } },
    { "a device without its INF, a service type in words", "",
      kMain + "DeviceName=D\r\nDeviceHardwareId=ROOT\\D\r\nServiceName=S\r\nServiceImage=%WindowsDir%\\notepad.exe\r\n"
              "ServiceType=own\r\nServiceStartup=3\r\n", {},
      { "setup.ini:7: error: Device description keys mismatch (setup-ini.md#main)",
        "setup.ini:9: error: Invalid service type own (setup-ini.md#a-service)" } },
    { "a destination past the path limit", "", kMain + "[Files]\r\nreadme.txt=%InstallDir%\\" + std::string(240, 'p') + "\r\n",
      { "readme.txt" }, { "setup.ini:8: error: Cannot create \"C:\\Program Files\\Checked\\ppp*...\" (0/206 - *) (setup-ini.md#files)" } },
    { "variables in another case, an empty twin, a shortcut twice", "",
      kMain + "HelpFile=\r\n[Main.NTamd64]\r\nHelpFile=help.txt\r\n[Files]\r\nreadme.txt=%installdir%\r\n"
              "[Links]\r\nRead=%WindowsDir%\\notepad.exe\r\n[Links.NTamd64]\r\nRead=%WindowsDir%\\notepad.exe\r\n",
      { "readme.txt", "help.txt" },
      { "setup.ini:7: warning: HelpFile is also in [Main], empty: the value in [Main.NTamd64] counts (setup-ini.md#main)",
        "setup.ini:11: warning: %installdir%: variable names are case-sensitive; did you mean %InstallDir%? *",
        "setup.ini:11: error: Cannot create \"%installdir%\\readme.txt\" (0/3 - *): nothing creates the folder %installdir% *",
        "setup.ini:15: warning: Read: a second shortcut of this name replaces the first *" } },
};

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
                WriteTextFile(folder + "\\" + file.substr(0, file.find('=')), file.find('=') != std::string::npos ? file.substr(file.find('=') + 1) : "x");
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
