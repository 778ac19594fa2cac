// Uninstallation as the uninstall shortcut starts it: the primary copy in the installation folder
// asks, hands over to a secondary copy in the temporary folder, and that copy removes everything,
// the primary's own file included, and then itself.
#include <windows.h>
#include <aclapi.h>
#include <gtest/gtest.h>
#include <map>
#include "runner.h"

namespace {

using namespace e2e;

const std::string kScript = e2e::Script("Removable",
    "RegisterUninstaller=1\r\n[Files]\r\na.txt=%InstallDir%\r\nb.dll=%InstallDir%\r\n[Links]\r\nA=%InstallDir%\\a.txt\r\n");
const std::vector<std::string> kInstalled = { "file:{product}\\a.txt=a", "file:{product}\\b.dll=b", "installed" };
const char kKey[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Removable 1.0";
const char kInstalledCopy[] = "{dir}\\setup.exe";
const char kWarnedKeepNo[] = "Setup|warning|Uninstallation completed with some warnings.{keep}|Yes,[No]>No";

const std::vector<std::string> kAllRemoved = { "absent:{dir}", "absent:{group}", std::string("nokey:") + kKey, "notemp:", "logs:0" };
const std::vector<std::string> kNothingRemoved = { "exists:{dir}\\setup.exe", "exists:{dir}\\uninst.ini", "exists:{dir}\\a.txt",
                                                   "exists:{group}\\A.lnk", std::string("key:") + kKey, "notemp:" };

// The user's temporary folder moved to FOLDER\Temp, as the user's environment names it.
std::vector<std::string> MovedTempFolder(const std::string &folder)
{
    std::string temp = folder + "\\Temp";
    return { "folder:" + folder, "folder:" + temp, "env:TMP=" + temp, "env:TEMP=" + temp, "sz:HKCU\\Environment|TMP=" + temp,
             "sz:HKCU\\Environment|TEMP=" + temp };
}

// The installation folder as the user types it in the options dialog, then uninstalled from there.
Case TypedFolder(const std::string &name, const std::string &folder)
{
    return { name, kScript, { "file:{product}\\a.txt=a", "file:{product}\\b.dll=b" },
             { { "", "", { kYesToInstall, "~|dialog||dir=" + folder + ",install", kInstallDone }, 0 },
               { folder + "\\setup.exe", "-u", { kYesToUninstall, kUninstallDone }, 0 } },
             { "absent:" + folder, "absent:{group}", std::string("nokey:") + kKey, "notemp:", "logs:0", "secondary:0" } };
}

const Case kUninstallations[] = {
    // The primary starts its copy directly, from a folder of its own in the system's temporary
    // folder; the copy's folder goes once the copy has ended.
    { "everything is removed, the program itself included", kScript, kInstalled,
      { { kInstalledCopy, "-u", { kYesToUninstall, kUninstallDone }, 0 } },
      With(kAllRemoved, { "secondary:0", "log:Command line: \" -u -p * -d \"{dir}\"\"",
                          "log:Starting \"C:\\windows\\Temp\\brindlework_setup_*\\*.EXE\":",
                          "nolog:Queuing \"*.EXE\" for deletion" }) },
    // The copy is deleted as it closes, its folder at the restart.
    { "Windows XP deletes the copy on close", kScript, With(kInstalled, { "version:winxp64" }),
      { { kInstalledCopy, "-u", { kYesToUninstall, kUninstallDone }, 0 } },
      { "absent:{dir}", "absent:{group}", std::string("nokey:") + kKey, "pending:.EXE*C:\\windows\\Temp\\brindlework_setup_" } },
    { "No to the question touches nothing", kScript, kInstalled,
      { { kInstalledCopy, "-u", { "~|question|Do you really want to uninstall Removable?|Yes,[No]>No" }, 0 } },
      With(kNothingRemoved, { "logs:0" }) },
    { "a missing journal", kScript, With(kInstalled, { "delete:{dir}\\uninst.ini" }),
      { { kInstalledCopy, "-u", { "Setup|error|Cannot open file \"uninst.ini\" (0/2 - File not found.)|[OK]",
                                  "Setup|error|Uninstallation (first phase) aborted.{keep}|Yes,[No]>No" }, 1 } },
      { "exists:{dir}\\setup.exe", "exists:{dir}\\a.txt", std::string("key:") + kKey, "notemp:" } },
    { "a journal without the product's name", kScript, With(kInstalled, { "file:{dir}\\uninst.ini=CreateFile \"{dir}\\a.txt\"\r\n" }),
      { { kInstalledCopy, "-u", { "Setup|error|No AppName event in file \"uninst.ini\"|[OK]",
                                  "Setup|error|Uninstallation (first phase) aborted.{keep}|Yes,[No]>No" }, 1 } },
      { "exists:{dir}\\a.txt", "notemp:" } },
    // Windows starts the registered command as it stands, unquoted.
    { "from the list of installed programs", kScript, kInstalled,
      { { kInstalledCopy, "={uninstall}", { kYesToUninstall, kUninstallDone }, 0 } },
      With(kAllRemoved, { "log:Command Line: \"-u\"" }) },
    // Windows allows '&', '^', '%', '!' and parentheses in a user name, and letters the OEM code
    // page (the command interpreter's) or the ANSI one lacks; the trace log stays in the user's
    // temporary folder, named by its short form where the ANSI code page lacks a letter.
    { "a temporary folder with a blank", kScript, With(MovedTempFolder("C:\\users\\John Smith"), kInstalled),
      { { kInstalledCopy, "-u", { kYesToUninstall, kUninstallDone }, 0 } }, kAllRemoved },
    { "a user name with an ampersand and parentheses", kScript, With(MovedTempFolder("C:\\users\\R&D (x)"), kInstalled),
      { { kInstalledCopy, "-u", { kYesToUninstall, kUninstallDone }, 0 } }, kAllRemoved },
    { "a temporary folder with a letter the OEM code page lacks", kScript, With(MovedTempFolder("C:\\users\\\x80uro"), kInstalled),
      { { kInstalledCopy, "-u", { kYesToUninstall, kUninstallDone }, 0 } }, kAllRemoved },
    { "a temporary folder with a letter the ANSI code page lacks", kScript, With(MovedTempFolder("C:\\users\\{U+0141}ukasz"), kInstalled),
      { { kInstalledCopy, "-u", { kYesToUninstall, kUninstallDone }, 0 } },
      With(kAllRemoved, { "log:Uninstallation completed successfully." }) },
    TypedFolder("an installation folder with an ampersand and a percent sign", "C:\\Program Files\\Rock & Roll (100%)"),
    TypedFolder("an installation folder with an en dash", "C:\\Program Files\\Foo \x96 Bar"),
    { "a secondary whose primary does not wait removes nothing", kScript, kInstalled,
      { { "", "-u -p 4D2 -d \"{dir}\"", { "Setup|error|Cannot open sync event (0/2 - *)|[OK]",
                                          "Setup|error|Uninstallation aborted.{keep}|Yes,[No]>No" }, 1 } },
      kNothingRemoved },
    { "a secondary that cannot open its primary still removes everything", kScript,
      With(kInstalled, { "event:C:/Program Files/Removable" }),
      { { "", "-u -p 7FFFFFF0 -d \"{dir}\"", { "Setup|error|Cannot connect to primary process (0/*)|[OK]", kWarnedKeepNo }, 1 } },
      { "absent:{dir}", "absent:{group}", std::string("nokey:") + kKey } },
    { "a folder with the user's own file stays", kScript, With(kInstalled, { "file:{dir}\\my notes.txt=mine" }),
      { { kInstalledCopy, "-u", { kYesToUninstall, "Setup|warning|Cannot delete directory \"{dir}\" (*)|[OK]", kWarnedKeepNo }, 0 } },
      { "secondary:1", "content:{dir}\\my notes.txt=mine", "absent:{dir}\\setup.exe", "absent:{group}", std::string("nokey:") + kKey } },
    // A program that holds a file open without delete sharing (a log, a scanner): the file is
    // in use, and is queued for deletion at the restart, its folder after it.
    { "a file held open by another program is queued for the restart", kScript, With(kInstalled, { "hold:{dir}\\b.dll" }),
      { { kInstalledCopy, "-u",
          { kYesToUninstall,
            "Setup|warning|File \"{dir}\\b.dll\" being deleted is currently in use. If there are active applications, they may use "
            "this file and prevent it to be deleted. You can close some applications and retry delete operation.\n\nIf all product "
            "files will be successfully deleted, no restart is required. Otherwise, Windows must be restarted to complete the "
            "uninstallation.\n\nRetry delete operation?|[Yes],No>Yes",
            "Setup|warning|File \"{dir}\\b.dll\" being deleted is currently in use.*|[Yes],No>No", kUninstallDone,
            "Setup|warning|Uninstaller cannot delete some files because they are in use.\nTo properly delete them, Windows must be "
            "restarted. If you choose\nto restart later, you must not try to install this product until\nthe files will be "
            "deleted.\n\nRestart Windows now?|[Yes],No>No" }, 0 } },
      { "exists:{dir}\\b.dll", "pending:{dir}\\b.dll*{dir}", "absent:{dir}\\a.txt", "secondary:0" } },
};

// A Japanese Windows (code page 932; e2e_uninstall_japanese runs these rows, which are made only
// there): the product's name, its folder, a shortcut and the user's temporary folder hold letters
// whose second byte is a backslash's ("\xE3\x82\xBD" so, "\xE8\xA1\xA8" the kanji for "table").
// setup.ini is written in code page 932, as a Japanese editor saves it.
std::vector<Case> JapaneseCases()
{
    if (GetACP() != 932)
        return {};
    const std::string product = Ansi(u8"\u30bd\u30d5\u30c8\u97f3\u97ff"), folderName = Ansi(u8"\u30bd\u30d5\u30c8\u8868");
    const std::string folder = "C:\\Program Files\\" + folderName, link = Ansi(u8"\u8868\u793a");
    const std::string key = std::string("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + product + " 1.0";
    const std::string script = "[Main]\r\nAppName=" + product + "\r\nAppVersion=1.0\r\nDefaultProgramGroup=" + product +
        "\r\nDefaultInstallDir=%ProgramFilesDir%\\" + folderName + "\r\nStartMenuFolder=%CommonProgramsFolder%\r\n"
        "RegisterUninstaller=1\r\n[Files]\r\nreadme.txt=%InstallDir%\r\n[Links]\r\n" + link + "=%InstallDir%\\readme.txt\r\n";
    const std::vector<std::string> arrange =
        With({ "locale:932" }, With(MovedTempFolder("C:\\users\\" + Ansi(u8"\u30bd\u30d5\u30c8")), { "file:{product}\\readme.txt=r" }));
    return {
        { "Japanese names install into their folder", script, arrange,
          { { "", "", { kYesToInstall, kOptionsInstall, kInstallDone }, 0 } },
          { "content:" + folder + "\\readme.txt=r", "exists:" + folder + "\\setup.exe", "absent:C:\\Program Files\\" + folderName + "readme.txt",
            "key:" + key, "value:" + key + "|UninstallString=" + folder + "\\setup.exe -u",
            "link:{group}\\" + link + ".lnk=" + folder + "\\readme.txt||" + folder, "log:Installation completed successfully." },
          [folder] { RemoveTree(folder); } },
        { "Japanese names uninstall completely", script, With(arrange, { "installed" }),
          { { folder + "\\setup.exe", "-u", { kYesToUninstall, kUninstallDone }, 0 } },
          { "absent:" + folder, "absent:{group}", "nokey:" + key, "notemp:", "logs:0", "secondary:0" } },
    };
}

class Uninstallation : public e2e::CaseTest {};
TEST_P(Uninstallation, AsTheUserSeesIt) { e2e::RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Rows, Uninstallation, ::testing::ValuesIn(kUninstallations), e2e::CaseName);
INSTANTIATE_TEST_SUITE_P(Japanese, Uninstallation, ::testing::ValuesIn(JapaneseCases()), e2e::CaseName);

// A product name that fits a journal line but not a path-sized buffer: what is recorded must come
// back whole, and the entry in the list of programs goes again.
std::string LongName()
{
    std::string name = "Long";
    while (name.size() < 200)
        name += " name";   // words, so that the boxes wrap the text and stay on the screen
    return name;
}

TEST(LongName, IsRemovedFromTheListOfPrograms)
{
    const std::string name = LongName();
    const std::string key = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name + " 1.0";
    e2e::RunCase({ "a product named with 200 characters",
                   "[Main]\r\nAppName=" + name + "\r\nAppVersion=1.0\r\nDefaultProgramGroup=LongGroup\r\n"
                   "DefaultInstallDir=C:\\Long\r\nStartMenuFolder=C:\\\r\nRegisterUninstaller=1\r\n",
                   {},
                   { { "", "", { "~|question|" + name + " 1.0 will be installed on your computer.\nDo you want to continue?|Yes,[No]>Yes",
                                 "~|dialog||install", "~|information|Installation completed successfully.|[OK]" }, 0 },
                     { "C:\\Long\\setup.exe", "-u", { "~|question|Do you really want to uninstall " + name + "?|Yes,[No]>Yes",
                                                      "Setup|information|Uninstallation completed successfully.|[OK]" }, 0 } },
                   { "nokey:" + key, "absent:C:\\Long", "absent:C:\\LongGroup" } });
}

// Two uninstallers of one folder: the second fails at the sync event and removes nothing, and
// the first goes on.
TEST(TwoUninstallers, TheSecondStartWhileTheFirstAsksIsRefused)
{
    e2e::RunCase({ "a second uninstaller", kScript, kInstalled, {}, {},
        [] {
            const std::string dir = "C:\\Program Files\\Removable";
            robot::Session first, second;
            robot::Window question, box;
            DWORD code = 0;
            ASSERT_TRUE(first.Start(dir + "\\setup.exe", "-u", dir) && first.NextWindow(&question, 20000)) << first.LastError();
            ASSERT_TRUE(second.Start(dir + "\\setup.exe", "-u", dir));
            for (const char *text : { "Cannot create sync event (0/183 - *", "Uninstallation (first phase) aborted.*" }) {
                ASSERT_TRUE(second.NextWindow(&box, 20000)) << second.LastError();
                EXPECT_TRUE(Matches(text, box.text)) << box.Describe();
                second.Press(box, robot::UsualAnswer(box));
            }
            EXPECT_TRUE(second.WaitExit(20000, &code) && code == 1) << code;
            first.Press(question, IDYES);
            ASSERT_TRUE(first.NextWindow(&box, 20000));
            EXPECT_EQ(box.text, "Uninstallation completed successfully.");
            first.Press(box, IDOK);
            EXPECT_TRUE(first.WaitExit(20000, &code));
            EXPECT_FALSE(PathExists(dir));
        } });
}

// The access each of these is granted by the folder's access list (0: none).
std::map<WELL_KNOWN_SID_TYPE, DWORD> GrantedAccess(const std::string &folder, const std::vector<WELL_KNOWN_SID_TYPE> &whom)
{
    std::map<WELL_KNOWN_SID_TYPE, DWORD> granted;
    PACL acl = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    EXPECT_EQ(GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, NULL, NULL, &acl, NULL,
                                    &descriptor), (DWORD)ERROR_SUCCESS);
    for (WELL_KNOWN_SID_TYPE type : whom) {
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof sid;
        CreateWellKnownSid(type, NULL, sid, &size);
        granted[type] = 0;
        for (DWORD i = 0; acl != NULL && i < acl->AceCount; i++) {
            ACCESS_ALLOWED_ACE *ace;
            if (GetAce(acl, i, (void **)&ace) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&ace->SidStart, sid))
                granted[type] |= ace->Mask;
        }
    }
    LocalFree(descriptor);
    return granted;
}

// The copy the second uninstaller runs from, read while it runs: a program the user starts without
// elevation could otherwise swap it.
TEST(SecondaryFolder, OnlyAdministratorsAndTheSystemHaveAccess)
{
    e2e::RunCase({ "the second uninstaller's folder", kScript, kInstalled, {}, {},
        [] {
            robot::Session session;
            robot::Window question, report;
            DWORD code = 0;
            ASSERT_TRUE(session.Start("C:\\Program Files\\Removable\\setup.exe", "-u") && session.NextWindow(&question, 20000));
            session.Press(question, IDYES);
            ASSERT_TRUE(session.NextWindow(&report, 20000)) << session.LastError();
            std::vector<std::string> folders = ListFolder("C:\\windows\\Temp\\brindlework_setup_*");
            ASSERT_EQ(folders.size(), 1u);
            std::string folder = "C:\\windows\\Temp\\" + folders[0];
            auto granted = GrantedAccess(folder, { WinWorldSid, WinBuiltinUsersSid, WinInteractiveSid, WinAuthenticatedUserSid,
                                                   WinLocalSystemSid });
            for (WELL_KNOWN_SID_TYPE type : { WinWorldSid, WinBuiltinUsersSid, WinInteractiveSid, WinAuthenticatedUserSid })
                EXPECT_EQ(granted[type], 0u) << "well-known SID " << type;
            EXPECT_EQ(granted[WinLocalSystemSid] & FILE_ALL_ACCESS, (DWORD)FILE_ALL_ACCESS);
            session.Press(report, IDOK);
            EXPECT_TRUE(session.WaitExit(20000, &code) && code == 0) << code;
            EXPECT_FALSE(PathExists(folder));
        } });
}

}  // namespace

namespace {

// Libraries named like those the program loads at run time and like those the system loads on its
// behalf then, planted beside setup.exe, in the current folder and in the temporary folder (where
// the secondary uninstaller runs from). Wine is told to prefer such copies to its own, so a search
// that looked there would load one, and its mark would name it. Not planted: the libraries Wine's
// own user32 imports (version.dll), which its loader takes from the program's folder before the
// program's first instruction; on Windows every library setup.exe imports is a known system one.
const char *const kPlanted[] = { "setupapi", "newdev", "winmm", "comctl32", "uxtheme", "msacm32", "dwmapi", "propsys" };

std::vector<std::string> Plantings()
{
    std::vector<std::string> arrange = { "folder:C:\\e2e\\current" };
    for (const char *name : kPlanted) {
        for (const char *folder : { "{product}", "C:\\e2e\\current", "{temp}" })
            arrange.push_back(std::string("copy:") + folder + "\\" + name + ".dll=PLANTED_DLL");
        arrange.push_back(std::string("sz:HKCU\\Software\\Wine\\DllOverrides|") + name + "=native,builtin");
    }
    return arrange;
}

TEST(PlantedLibraries, NoneIsLoadedFromTheProgramsTheCurrentOrTheTemporaryFolder)
{
    const std::string script = e2e::Script("Planted", "RegisterUninstaller=1\r\nDeviceName=Demo Device\r\nMmeDriverModule=testdrv.dll\r\n"
        "MmeDriverCategories=wave\r\n[Files]\r\ntestdrv.dll=%WindowsDir%\\system32\r\n");
    e2e::RunCase({ "planted libraries", script,
        e2e::With(Plantings(), { "copy:{product}\\testdrv.dll=TEST_DRIVER_DLL" }),
        { { "", "", { kYesToInstall, kOptionsInstall, kInstallDone }, 0, "C:\\e2e\\current" },
          { "{dir}\\setup.exe", "-u", { kYesToUninstall, kUninstallDone }, 0, "C:\\e2e\\current" } },
        { "files:C:\\planted=", "absent:{dir}", "log:Loading winmm.dll" },
        [] {
            RemoveTree("C:\\planted");
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\BrindleworkTestDriver");
        } });
}

}  // namespace
