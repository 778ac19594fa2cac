// A real fault at each step of the installation, after the user said yes: the user sees the
// design's message with its cause, and the rollback leaves the machine as it was ("unchanged":
// files, registry and services compared with a snapshot taken before the run).
#include <gtest/gtest.h>
#include <cstring>
#include "runner.h"

namespace {

using namespace e2e;

std::string Faulty(const std::string &name, const std::string &installDir, const std::string &extra,
                   const std::string &version = "1.0")
{
    return "[Main]\r\nAppName=" + name + "\r\nAppVersion=" + version + "\r\nDefaultProgramGroup=Faulty\r\n"
           "DefaultInstallDir=" + installDir + "\r\nStartMenuFolder=%CommonProgramsFolder%\r\nRegisterUninstaller=1\r\n" +
           extra + "[Links]\r\nA=%InstallDir%\\a.txt\r\n";
}

// Long texts are words, so that the boxes wrap them and stay on the screen.
std::string Words(std::string text, const char *word, size_t length)
{
    while (text.size() < length)
        text += word;
    return text;
}

const std::vector<std::string> kFiles = { "file:{product}\\a.txt=a", "file:{product}\\big.bin=" + std::string(600000, 'z') };
const std::string kGroup = "{common}\\Faulty";
const std::string kLongDir = Words("C:\\long", " folder", 246);   // 252 characters
const std::string kLongVersion = Words("1", " 9", 251);
const std::string kLongName = Words("Faulty", " n", 206);
const char kDriverKeys[] = "*SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\*";

std::string Undone(const std::string &dir, const std::string &files, const std::string &uninstallLink = "Uninstall Faulty.lnk")
{
    return "undo:" + files + "Deleted file \"" + kGroup + "\\" + uninstallLink + "\";Deleted file \"" + kGroup +
           "\\A.lnk\";Deleted directory \"" + kGroup + "\";Deleted file \"" + dir + "\\uninst.ini\";Deleted directory \"" + dir + "\"";
}

// A product with a service that fills drive T:, where the product lives, as it starts, and a
// legacy driver installed after it. T: gives room block by block (4 KiB), so the journal must
// reach the end of a block when the driver is recorded: files named to the length that brings it
// there.
const size_t kBlock = 4096;
const std::string kFiller = "T:\\filler";

std::vector<std::string> JournalBeforeTheDriver(const std::string &group, const std::vector<std::string> &pads)
{
    std::vector<std::string> lines = { "AppName \"Faulty\"", "AdmRightsRequired", "CreateDir \"T:\\Faulty\"",
        "CreateFile \"T:\\Faulty\\uninst.ini\"", "CreateDir \"" + group + "\"", "CreateFile \"" + group + "\\A.lnk\"",
        "CreateFile \"" + group + "\\Uninstall Faulty.lnk\"", "CreateFile \"T:\\Faulty\\a.txt\"",
        "CreateFile \"C:\\windows\\system32\\testdrv.dll\"" };
    for (const std::string &pad : pads)
        lines.push_back("CreateFile \"T:\\Faulty\\" + pad + "\"");
    lines.push_back("CreateFile \"T:\\Faulty\\setup.exe\"");
    lines.push_back("InstallService \"SetupE2eService\"");
    return lines;
}

Case DiskFilledByTheService()
{
    const std::string group = e2e::CommonProgramsFolder() + "\\Faulty";
    const size_t overhead = std::string("CreateFile \"T:\\Faulty\\\"\r\n").size();
    size_t length = strlen(kJournalHeader);
    for (const std::string &line : JournalBeforeTheDriver(group, {}))
        length += line.size() + 2;
    // A few bytes short of the block's end: the legacy driver's line is the first to need a new
    // block, so the driver is installed, and its record stands though it is not saved.
    std::vector<std::string> pads;
    for (size_t remaining = kBlock - 8 - length; remaining > 0;) {
        size_t name = remaining - overhead > 200 ? 150 : remaining - overhead;
        pads.push_back("pad" + std::to_string(pads.size()) + std::string(name - 3 - std::to_string(pads.size()).size(), 'p'));
        remaining -= overhead + name;
    }
    std::string files = "[Files]\r\na.txt=%InstallDir%\r\ntestdrv.dll=%WindowsDir%\\system32\r\n";
    std::vector<std::string> arrange = { kFiles[0], "copy:{product}\\testdrv.dll=TEST_DRIVER_DLL" };
    for (const std::string &pad : pads) {
        files += pad + "=%InstallDir%\r\n";
        arrange.push_back("file:{product}\\" + pad + "=p");
    }
    return { "a disk that fills up once the journal is saved",
             Faulty("Faulty", "T:\\Faulty", "ServiceName=SetupE2eService\r\nServiceImage={testservice} fill " + kFiller +
                                              "\r\nServiceType=16\r\nServiceStartup=2\r\nDeviceName=Demo Device\r\n"
                                              "MmeDriverModule=testdrv.dll\r\nMmeDriverCategories=wave,mixer\r\n" + files),
             arrange,
             { { "", "", { kYesToInstall, kOptionsInstall, "~|error|Cannot write * bytes to file \"T:\\Faulty\\uninst.ini\" (0/112 - *)|[OK]",
                           kInstallAborted }, 1 } },
             { "log:Cannot save the journal to \"T:\\Faulty\\uninst.ini\" (0/112 - *)", "log:Service \"SetupE2eService\" is deleted",
               "nolog:Service \"SetupE2eService\" does not exist", "service:SetupE2eService=absent", "absent:T:\\Faulty",
               // installed and removed once: one DRV_INSTALL, one DRV_REMOVE
               "value:HKLM\\Software\\BrindleworkTestDriver|Received=9 696E7374 setup.exe;10 72656D76 setup.exe;",
               "unchanged:*\\BrindleworkTestDriver*" },
             [] { DeleteFileA(kFiller.c_str()); } };
}

const Case kFaults[] = {
    { "a missing source file", Faulty("Faulty", "C:\\Faulty", "[Files]\r\na.txt=%InstallDir%\r\nmissing.txt=%InstallDir%\r\n"), kFiles,
      { { "", "", { kYesToInstall, kOptionsInstall, "~|error|Cannot open \"{product}\\missing.txt\" (0/2 - File not found.)|[OK]", kInstallAborted }, 1 } },
      { "unchanged:", Undone("C:\\Faulty", "Deleted file \"C:\\Faulty\\a.txt\";") } },
    // Missing folders are made, parents first; on a drive that does not exist none can be.
    { "a destination folder on a drive that does not exist",
      Faulty("Faulty", "C:\\Faulty", "[Files]\r\na.txt=%InstallDir%\r\nbig.bin=Q:\\sub\r\n"), kFiles,
      { { "", "", { kYesToInstall, kOptionsInstall, "~|error|Cannot create directory \"Q:\\sub\" (0/*)|[OK]", kInstallAborted }, 1 } },
      { "unchanged:" } },
    { "an installation folder on a drive that does not exist", Faulty("Faulty", "Q:\\Vendor\\Faulty", "[Files]\r\na.txt=%InstallDir%\r\n"),
      kFiles,
      { { "", "", { kYesToInstall, kOptionsInstall, "~|error|Cannot create directory \"Q:\\Vendor\" (0/*)|[OK]",
                    kInstallAborted }, 1 } },
      { "unchanged:" } },
    { "an installation folder that exists already", Faulty("Faulty", "C:\\Faulty", "[Files]\r\na.txt=%InstallDir%\r\n"),
      With(kFiles, { "folder:C:\\Faulty" }),
      { { "", "", { kYesToInstall, kOptionsInstall, "~|error|Directory \"C:\\Faulty\" already exists|[OK]", kInstallAborted }, 1 } },
      { "unchanged:", "exists:C:\\Faulty" } },
    // The partly written file was never recorded, so the folder keeps it and cannot go: the design
    // leaves a partly written destination in place.
    { "a full disk", Faulty("Faulty", "T:\\Faulty", "[Files]\r\na.txt=%InstallDir%\r\nbig.bin=%InstallDir%\r\n"), kFiles,
      { { "", "", { kYesToInstall, kOptionsInstall, "~|error|Cannot write to \"T:\\Faulty\\big.bin\" (0/112 - *)|[OK]",
                    "~|warning|Cannot delete directory \"T:\\Faulty\" (*)|[OK]", kInstallAborted }, 1 } },
      { "absent:T:\\Faulty\\a.txt", "absent:T:\\Faulty\\uninst.ini", "exists:T:\\Faulty\\big.bin" },
      [] { RemoveTree("T:\\Faulty"); } },
    // Drive R: is a file system mounted read-only.
    { "a read-only destination", Faulty("Faulty", "C:\\Faulty", "[Files]\r\na.txt=%InstallDir%\r\nbig.bin=R:\\\r\n"), kFiles,
      { { "", "", { kYesToInstall, kOptionsInstall, "~|error|Cannot create \"R:\\big.bin\" (0/5 - Access denied.)|[OK]", kInstallAborted }, 1 } },
      { "unchanged:", Undone("C:\\Faulty", "Deleted file \"C:\\Faulty\\a.txt\";") } },
    // uninst.ini does not fit beside that folder name: refused with its path, never cut.
    { "a folder name too long for its files", Faulty("Faulty", "C:\\Faulty", "[Files]\r\na.txt=%InstallDir%\r\n"), kFiles,
      { { "", "", { kYesToInstall, "~|dialog||dir=" + kLongDir + ",install",
                    "~|error|Cannot create file \"" + (kLongDir + "\\uninst.ini").substr(0, MAX_PATH - 4) +
                    "...\" (0/206 - File name is too long.)|[OK]", kInstallAborted }, 1 } },
      { "unchanged:", "undo:Deleted directory \"" + kLongDir + "\"" } },
    { "a shortcut name too long for its folder", Faulty(kLongName, "C:\\Faulty", "[Files]\r\na.txt=%InstallDir%\r\n"), kFiles,
      { { "", "", { kYesToInstall, kOptionsInstall, "~|error|Cannot save shortcut file \"" + kGroup + "\\Uninstall " + kLongName.substr(0, 20) +
                    "*...\" (0/206 - File name is too long.)|[OK]", kInstallAborted }, 1 } },
      { "unchanged:" } },
    // A version so long that the entry's name passes the registry's 255 characters.
    { "a registry key the registry refuses", Faulty("Faulty", "C:\\Faulty", "[Files]\r\na.txt=%InstallDir%\r\n", kLongVersion), kFiles,
      { { "", "", { kYesToInstall, kOptionsInstall, "~|error|Cannot create registry key \"Faulty " + kLongVersion + "\" (0/87 - Invalid parameter.)|[OK]",
                    kInstallAborted }, 1 } },
      { "unchanged:", Undone("C:\\Faulty", "Deleted file \"C:\\Faulty\\setup.exe\";Deleted file \"C:\\Faulty\\a.txt\";") } },
    { "a service image that cannot start",
      Faulty("Faulty", "C:\\Faulty", "ServiceName=SetupE2eService\r\nServiceImage=C:\\no\\such.exe\r\nServiceType=16\r\nServiceStartup=2\r\n"
                                     "[Files]\r\na.txt=%InstallDir%\r\n"), kFiles,
      { { "", "", { kYesToInstall, kOptionsInstall, "~|error|Cannot start service \"SetupE2eService\" (0/2 - *)|[OK]", kInstallAborted }, 1 } },
      { "unchanged:", "log:Service \"SetupE2eService\" is deleted",
        "nolog:Service \"SetupE2eService\" does not exist" } },   // no InstallService line was replayed
    { "a driver module that answers 0",
      Faulty("Faulty", "C:\\Faulty", "DeviceName=Demo Device\r\nMmeDriverModule=testdrv.dll\r\nMmeDriverCategories=wave,mixer\r\n"
                                     "[Files]\r\na.txt=%InstallDir%\r\ntestdrv.dll=%WindowsDir%\\system32\r\n"),
      With(kFiles, { "copy:{product}\\testdrv.dll=TEST_DRIVER_DLL", "dword:HKLM\\Software\\BrindleworkTestDriver|InstallAnswer=0" }),
      { { "", "", { kYesToInstall, kOptionsInstall, "~|error|Driver failed processing message 0x9 (code 0x0)|[OK]", kInstallAborted }, 1 } },
      { "unchanged:*\\BrindleworkTestDriver*" } },   // the module's own record of the message it was sent
    // The journal on disk follows every record; when that save fails the record stands, the
    // installation's own next save reports the cause once, and the rollback removes each object once.
    DiskFilledByTheService(),
};

class Faults : public e2e::CaseTest {};
TEST_P(Faults, EveryStepFailsCleanly) { e2e::RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Rows, Faults, ::testing::ValuesIn(kFaults), e2e::CaseName);

}  // namespace
