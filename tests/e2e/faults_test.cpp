// A real fault at each step of the installation, after the user said yes: the user sees the
// design's message with its cause, and the rollback leaves the machine as it was ("unchanged":
// files, registry and services compared with a snapshot taken before the run).
#include <gtest/gtest.h>
#include "runner.h"

namespace {

using e2e::Case;
using e2e::With;

std::string Faulty(const std::string &name, const std::string &installDir, const std::string &extra,
                   const std::string &version = "1.0")
{
    return "[Main]\r\nAppName=" + name + "\r\nAppVersion=" + version + "\r\nDefaultProgramGroup=Faulty\r\n"
           "DefaultInstallDir=" + installDir + "\r\nStartMenuFolder=%CommonProgramsFolder%\r\nRegisterUninstaller=1\r\n" +
           extra + "[Links]\r\nA=%InstallDir%\\a.txt\r\n";
}

std::string Files(const std::string &lines)
{
    return "[Files]\r\n" + lines;
}

// Long texts are words, so that the boxes wrap them and stay on the screen.
std::string Words(std::string text, const char *word, size_t length)
{
    while (text.size() < length)
        text += word;
    return text;
}

const std::vector<std::string> kFiles = { "file:{product}\\a.txt=a", "file:{product}\\big.bin=" + std::string(200000, 'z') };
const std::string kGroup = "{common}\\Faulty";
const char kPrompt[] = "~|question|*will be installed on your computer.\nDo you want to continue?|Yes,[No]>Yes";
const char kOptions[] = "~|dialog||install";
const char kAborted[] = "~|error|Installation aborted.{keep}|Yes,[No]>No";
const std::string kLongDir = "C:\\" + std::string(250, 'd');
const std::string kLongVersion = Words("1", " 9", 251);
const std::string kLongName = Words("Faulty", " n", 206);
const char kDriverKeys[] = "*SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\*";

std::string Undone(const std::string &dir, const std::string &files, const std::string &uninstallLink = "Uninstall Faulty.lnk")
{
    return "undo:" + files + "Deleted file \"" + kGroup + "\\" + uninstallLink + "\";Deleted file \"" + kGroup +
           "\\A.lnk\";Deleted directory \"" + kGroup + "\";Deleted file \"" + dir + "\\uninst.ini\";Deleted directory \"" + dir + "\"";
}

const Case kFaults[] = {
    { "a missing source file", Faulty("Faulty", "C:\\Faulty", Files("a.txt=%InstallDir%\r\nmissing.txt=%InstallDir%\r\n")), kFiles,
      { { "", "", { kPrompt, kOptions, "~|error|Cannot open \"{product}\\missing.txt\" (0/2 - File not found.)|[OK]", kAborted }, 1 } },
      { "unchanged:", Undone("C:\\Faulty", "Deleted file \"C:\\Faulty\\a.txt\";") } },
    { "a destination folder that does not exist", Faulty("Faulty", "C:\\Faulty", Files("a.txt=%InstallDir%\r\nbig.bin=%InstallDir%\\sub\r\n")),
      kFiles,
      { { "", "", { kPrompt, kOptions, "~|error|Cannot create \"C:\\Faulty\\sub\\big.bin\" (0/3 - Path not found.)|[OK]", kAborted }, 1 } },
      { "unchanged:" } },
    { "an installation folder that exists already", Faulty("Faulty", "C:\\Faulty", Files("a.txt=%InstallDir%\r\n")),
      With(kFiles, { "folder:C:\\Faulty" }),
      { { "", "", { kPrompt, kOptions, "~|error|Directory \"C:\\Faulty\" already exists|[OK]", kAborted }, 1 } },
      { "unchanged:", "exists:C:\\Faulty" } },
    // The partly written file was never recorded, so the folder keeps it and cannot go: the design
    // leaves a partly written destination in place.
    { "a full disk", Faulty("Faulty", "T:\\Faulty", Files("a.txt=%InstallDir%\r\nbig.bin=%InstallDir%\r\n")), kFiles,
      { { "", "", { kPrompt, kOptions, "~|error|Cannot write to \"T:\\Faulty\\big.bin\" (0/112 - *)|[OK]",
                    "~|warning|Cannot delete directory \"T:\\Faulty\" (*)|[OK]", kAborted }, 1 } },
      { "absent:T:\\Faulty\\a.txt", "absent:T:\\Faulty\\uninst.ini", "exists:T:\\Faulty\\big.bin" },
      [] { RemoveTree("T:\\Faulty"); } },
    // Drive R: is a file system mounted read-only.
    { "a read-only destination", Faulty("Faulty", "C:\\Faulty", Files("a.txt=%InstallDir%\r\nbig.bin=R:\\\r\n")), kFiles,
      { { "", "", { kPrompt, kOptions, "~|error|Cannot create \"R:\\big.bin\" (0/5 - Access denied.)|[OK]", kAborted }, 1 } },
      { "unchanged:", Undone("C:\\Faulty", "Deleted file \"C:\\Faulty\\a.txt\";") } },
    // uninst.ini does not fit beside that folder name: its path comes out empty and is refused.
    { "a folder name too long for its files", Faulty("Faulty", "C:\\Faulty", Files("a.txt=%InstallDir%\r\n")), kFiles,
      { { "", "", { kPrompt, "~|dialog||dir=" + kLongDir + ",install", "~|error|Cannot create file \"\" (0/*|[OK]", kAborted }, 1 } },
      { "unchanged:", "undo:Deleted directory \"" + kLongDir + "\"" } },
    { "a shortcut name too long for its folder", Faulty(kLongName, "C:\\Faulty", Files("a.txt=%InstallDir%\r\n")), kFiles,
      { { "", "", { kPrompt, kOptions, "~|error|Cannot save shortcut file (0/206 - File name is too long.)|[OK]", kAborted }, 1 } },
      { "unchanged:" } },
    // A version so long that the entry's name passes the registry's 255 characters.
    { "a registry key the registry refuses", Faulty("Faulty", "C:\\Faulty", Files("a.txt=%InstallDir%\r\n"), kLongVersion), kFiles,
      { { "", "", { kPrompt, kOptions, "~|error|Cannot create registry key \"Faulty " + kLongVersion + "\" (0/87 - Invalid parameter.)|[OK]",
                    kAborted }, 1 } },
      { "unchanged:", Undone("C:\\Faulty", "Deleted file \"C:\\Faulty\\setup.exe\";Deleted file \"C:\\Faulty\\a.txt\";") } },
    { "a service image that cannot start",
      Faulty("Faulty", "C:\\Faulty", "ServiceName=SetupE2eService\r\nServiceImage=C:\\no\\such.exe\r\nServiceType=16\r\nServiceStartup=2\r\n"
                                     "[Files]\r\na.txt=%InstallDir%\r\n"), kFiles,
      { { "", "", { kPrompt, kOptions, "~|error|Cannot start service \"SetupE2eService\" (0/2 - *)|[OK]", kAborted }, 1 } },
      { "unchanged:", "log:Service \"SetupE2eService\" is deleted",
        "nolog:Service \"SetupE2eService\" does not exist" } },   // no InstallService line was replayed
    { "a driver module that answers 0",
      Faulty("Faulty", "C:\\Faulty", "DeviceName=Demo Device\r\nMmeDriverModule=testdrv.dll\r\nMmeDriverCategories=wave,mixer\r\n"
                                     "[Files]\r\na.txt=%InstallDir%\r\ntestdrv.dll=%WindowsDir%\\system32\r\n"),
      With(kFiles, { "copy:{product}\\testdrv.dll=TEST_DRIVER_DLL", "dword:HKLM\\Software\\BrindleworkTestDriver|InstallAnswer=0" }),
      { { "", "", { kPrompt, kOptions, "~|error|Driver failed processing message 0x9 (code 0x0)|[OK]", kAborted }, 1 } },
      { "unchanged:*\\BrindleworkTestDriver*" } },   // the module's own record of the message it was sent
};

TEST(Faults, EveryStepFailsCleanly)
{
    for (const Case &c : kFaults)
        e2e::RunCase(c);
}

}  // namespace
