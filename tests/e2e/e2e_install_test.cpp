// Installations as a user makes them: the prompt, the two dialogs, the result on the system, the
// journal byte for byte, the ways out, existing folders, and failures that are rolled back.
#include <gtest/gtest.h>
#include "e2e_common.h"
#include "robot.h"

namespace {

using namespace e2e;
using robot::kIconError;
using robot::kIconInformation;
using robot::kIconQuestion;
using robot::kIconWarning;

const char kCaption[] = "E2E Product installation";
const char kInstallDir[] = "C:\\Program Files\\E2E Product";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\E2E Product 2.5";
const char kLicense[] = "E2E LICENSE\r\n\r\nTake it or leave it.\r\n";

const char kScriptMain[] =
    "[Main]\r\n"
    "AppName=E2E Product\r\n"
    "AppVersion=2.5\r\n"
    "DefaultProgramGroup=E2E Product\r\n"
    "DefaultInstallDir=%ProgramFilesDir%\\%AppName%\r\n"
    "StartMenuFolder=%CommonProgramsFolder%\r\n"
    "LicenseFile=license.txt\r\n"
    "HelpFile=help.txt\r\n"
    "RegisterUninstaller=1\r\n";
const char kScriptLists[] =
    "[Files]\r\n"
    "a.txt=%InstallDir%\r\n"
    "b.txt=%InstallDir%\r\n"
    "[Links]\r\n"
    "A File=%InstallDir%\\a.txt\r\n";

class Install : public ::testing::Test {
protected:
    Install() : product_("install") {}
    void SetUp() override
    {
        Cleanup();
        product_.Write("setup.ini", std::string(kScriptMain) + kScriptLists);
        product_.Write("license.txt", kLicense);
        product_.Write("help.txt", "help");
        product_.Write("a.txt", "file a");
        product_.Write("b.txt", std::string(50000, 'b'));
        logsBefore_ = TraceLogs();
    }
    void TearDown() override
    {
        DeleteNewTraceLogs(logsBefore_);
        Cleanup();
    }
    static void Cleanup()
    {
        RemoveTree(kInstallDir);
        RemoveTree(GroupFolder());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    }
    static std::string GroupFolder() { return CommonProgramsFolder() + "\\E2E Product"; }

    void Start() { ASSERT_TRUE(session_.Start(product_.Exe(), "", product_.Path())) << session_.LastError(); }
    void AnswerPrompt(int answer)
    {
        robot::Window prompt = robot::ExpectBox(session_, kCaption,
            "E2E Product 2.5 will be installed on your computer.\nDo you want to continue?",
            kIconQuestion, { IDYES, IDNO }, IDNO);
        session_.Press(prompt, answer);
    }
    robot::Window NextDialog(const char *what)
    {
        robot::Window dialog;
        EXPECT_TRUE(session_.NextWindow(&dialog, robot::kDefaultTimeoutMs)) << what << ": " << session_.ProcessSummary();
        EXPECT_FALSE(dialog.isMessageBox) << dialog.Describe();
        EXPECT_EQ(dialog.caption, kCaption);
        return dialog;
    }
    robot::Window License()
    {
        robot::Window license = NextDialog("license dialog");
        EXPECT_EQ(license.defaultButton, IDCANCEL) << "Enter declines";
        EXPECT_EQ(session_.ReadControlText(license, 1000), kLicense);
        return license;
    }
    // The options dialog, optionally with another folder or the advanced-user box ticked;
    // confirmed with Enter.
    void Options(bool advanced, const std::string &installDir = "")
    {
        robot::Window options = NextDialog("options dialog");
        EXPECT_EQ(options.defaultButton, IDOK) << "Enter installs";
        EXPECT_EQ(session_.ReadControlText(options, 1001), kInstallDir);
        EXPECT_EQ(session_.ReadControlText(options, 1002), "E2E Product");
        const robot::Control *help = options.FindControl(1006);
        ASSERT_NE(help, nullptr);
        EXPECT_TRUE(help->visible) << "the help file is there";
        if (!installDir.empty())
            session_.SetEditText(options, 1001, installDir);
        if (advanced)
            session_.Tick(options, 1005);
        EXPECT_TRUE(PressEnter(options));
    }
    std::string OnlyNewLog()
    {
        std::vector<std::string> logs = NewTraceLogs(logsBefore_);
        EXPECT_EQ(logs.size(), 1u);
        return logs.empty() ? "" : logs[0];
    }
    void ExpectNothingInstalled()
    {
        EXPECT_FALSE(PathExists(kInstallDir));
        EXPECT_FALSE(PathExists(GroupFolder()));
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    }

    ProductFolder product_;
    robot::Session session_;
    std::vector<std::string> logsBefore_;
};

std::string ExpectedJournal()
{
    std::string dir = kInstallDir;
    std::string group = CommonProgramsFolder() + "\\E2E Product";
    return ";\r\n; Caution!\r\n; Do not delete or modify this file. It is required to product uninstallation.\r\n;\r\n\r\n"
           "AppName \"E2E Product\"\r\n"
           "AdmRightsRequired\r\n"
           "CreateDir \"" + dir + "\"\r\n"
           "CreateFile \"" + dir + "\\uninst.ini\"\r\n"
           "CreateDir \"" + group + "\"\r\n"
           "CreateFile \"" + group + "\\A File.lnk\"\r\n"
           "CreateFile \"" + group + "\\Uninstall E2E Product.lnk\"\r\n"
           "CreateFile \"" + dir + "\\a.txt\"\r\n"
           "CreateFile \"" + dir + "\\b.txt\"\r\n"
           "CreateFile \"" + dir + "\\setup.exe\"\r\n"
           "CreateKey \"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\E2E Product 2.5\"\r\n"
           "CreateFile \"" + dir + "\\install.log\"\r\n";
}

TEST_F(Install, CompleteInstallation)
{
    Start();
    AnswerPrompt(IDYES);
    session_.Press(License(), IDOK);
    Options(false);
    robot::Window done = robot::ExpectBox(session_, kCaption, "Installation completed successfully.",
                                          kIconInformation, { IDOK }, IDOK);
    session_.Press(done, IDOK);
    robot::ExpectExit(session_, 0);

    std::string dir = kInstallDir;
    EXPECT_EQ(ReadFileText(dir + "\\a.txt"), "file a");
    EXPECT_EQ(ReadFileText(dir + "\\b.txt"), std::string(50000, 'b'));
    EXPECT_EQ(ReadFileText(dir + "\\setup.exe"), ReadFileText(product_.Exe()));
    EXPECT_EQ(ReadFileText(dir + "\\uninst.ini"), ExpectedJournal());
    std::vector<std::string> log = SplitLines(ReadFileText(dir + "\\install.log"));
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(AllLinesWellFormed(log));
    EXPECT_EQ(LineText(log.back()), "Installation completed successfully.");
    EXPECT_TRUE(NewTraceLogs(logsBefore_).empty()) << "the temporary log became install.log";

    LinkInfo uninstall = ReadLink(GroupFolder() + "\\Uninstall E2E Product.lnk");
    ASSERT_TRUE(uninstall.loaded);
    EXPECT_STRCASEEQ(uninstall.path.c_str(), (dir + "\\setup.exe").c_str());
    EXPECT_EQ(uninstall.arguments, "-u");
    EXPECT_EQ(uninstall.workingDir, dir);
    EXPECT_EQ(uninstall.description, "Uninstall %AppName%");
    LinkInfo file = ReadLink(GroupFolder() + "\\A File.lnk");
    ASSERT_TRUE(file.loaded);
    EXPECT_EQ(file.arguments, "");
    EXPECT_EQ(file.description, "A File");

    EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "E2E Product 2.5");
    EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayIcon"), dir + "\\setup.exe");
    EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"), dir + "\\setup.exe -u");
    EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "NoModify"), "1");
}

TEST_F(Install, LeavingChangesNothing)
{
    for (int way = 0; way < 3; way++) {
        SCOPED_TRACE(way == 0 ? "No to the prompt" : way == 1 ? "Enter in the license dialog" : "Exit");
        robot::Session session;
        ASSERT_TRUE(session.Start(product_.Exe(), "", product_.Path()));
        robot::Window prompt;
        ASSERT_TRUE(session.NextWindow(&prompt, robot::kDefaultTimeoutMs));
        session.Press(prompt, way == 0 ? IDNO : IDYES);
        if (way >= 1) {
            robot::Window license;
            ASSERT_TRUE(session.NextWindow(&license, robot::kDefaultTimeoutMs));
            if (way == 1) {
                EXPECT_TRUE(PressEnter(license));
            } else {
                session.Press(license, IDOK);
                robot::Window options;
                ASSERT_TRUE(session.NextWindow(&options, robot::kDefaultTimeoutMs));
                session.Press(options, IDCANCEL);
            }
        }
        robot::ExpectExit(session, 0);
        ExpectNothingInstalled();
        EXPECT_TRUE(NewTraceLogs(logsBefore_).empty()) << "the trace log is deleted";
        EXPECT_EQ(product_.Files(), (std::vector<std::string>{ "a.txt", "b.txt", "help.txt", "license.txt", "setup.exe", "setup.ini" }));
    }
}

TEST_F(Install, HelpButtonOnlyWithAHelpFile)
{
    DeleteFileA((product_.Path() + "\\help.txt").c_str());   // named in the script, but missing
    Start();
    AnswerPrompt(IDYES);
    session_.Press(License(), IDOK);
    robot::Window options = NextDialog("options dialog");
    const robot::Control *help = options.FindControl(1006);
    ASSERT_NE(help, nullptr);
    EXPECT_FALSE(help->visible);
    const robot::Control *warning = options.FindControl(1003);
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(warning->text.rfind("Important!\nMake sure you have UNINSTALLED any previous version", 0), 0u);
    const robot::Control *advanced = options.FindControl(1005);
    ASSERT_NE(advanced, nullptr);
    EXPECT_FALSE(advanced->checked);
    session_.Press(options, IDCANCEL);
    robot::ExpectExit(session_, 0);
    ExpectNothingInstalled();
}

TEST_F(Install, ExistingFolderStopsANormalUser)
{
    ASSERT_TRUE(CreateDirectoryA(kInstallDir, NULL));
    Start();
    AnswerPrompt(IDYES);
    session_.Press(License(), IDOK);
    Options(false);
    robot::Window refused = robot::ExpectBox(session_, kCaption,
        std::string("Directory \"") + kInstallDir + "\" already exists", kIconError, { IDOK }, IDOK);
    session_.Press(refused, IDOK);
    std::string log = OnlyNewLog();
    robot::Window report = robot::ExpectBox(session_, kCaption, ReportWithKeepQuestion("Installation aborted.", log),
                                            kIconError, { IDYES, IDNO }, IDNO);
    session_.Press(report, IDNO);
    robot::ExpectExit(session_, 1);
    EXPECT_TRUE(PathExists(kInstallDir)) << "a folder that was there stays";
    EXPECT_FALSE(PathExists(std::string(kInstallDir) + "\\uninst.ini"));
    EXPECT_FALSE(PathExists(GroupFolder()));
    EXPECT_FALSE(PathExists(log));
}

TEST_F(Install, ExistingFolderTakenOverByAnAdvancedUserWarns)
{
    ASSERT_TRUE(CreateDirectoryA(kInstallDir, NULL));
    Start();
    AnswerPrompt(IDYES);
    session_.Press(License(), IDOK);
    Options(true);
    robot::Window question = robot::ExpectBox(session_, kCaption,
        std::string("Directory \"") + kInstallDir + "\" already exists.\nDo you want to overwrite it?",
        kIconWarning, { IDYES, IDNO }, IDNO);
    session_.Press(question, IDYES);
    std::string installLog = std::string(kInstallDir) + "\\install.log";
    robot::Window report = robot::ExpectBox(session_, kCaption,
        ReportWithLogParagraph("Installation completed with some warnings.", installLog), kIconWarning, { IDOK }, IDOK);
    session_.Press(report, IDOK);
    robot::Window notepad;
    ASSERT_TRUE(session_.NextWindow(&notepad, robot::kDefaultTimeoutMs)) << "the kept log is shown";
    EXPECT_NE(notepad.caption.find("install.log"), std::string::npos) << notepad.Describe();
    session_.Close(notepad);
    robot::ExpectExit(session_, 1);
    // The taken-over folder is recorded like a new one, and the installation went on to the end.
    EXPECT_EQ(ReadFileText(std::string(kInstallDir) + "\\uninst.ini"), ExpectedJournal());
    EXPECT_EQ(ReadFileText(std::string(kInstallDir) + "\\a.txt"), "file a");
    std::vector<std::string> lines = SplitLines(ReadFileText(installLog));
    bool userLine = false;
    for (const std::string &line : lines)
        userLine |= LineText(line) == "The user is advanced";
    EXPECT_TRUE(userLine);
}

TEST_F(Install, OnlyTheExactValueOneRegistersTheUninstaller)
{
    std::string script = std::string(kScriptMain) + kScriptLists;
    script.replace(script.find("RegisterUninstaller=1"), 21, "RegisterUninstaller=01");
    product_.Write("setup.ini", script);
    Start();
    AnswerPrompt(IDYES);
    session_.Press(License(), IDOK);
    Options(false);
    robot::Window done = robot::ExpectBox(session_, kCaption, "Installation completed successfully.", kIconInformation, { IDOK }, IDOK);
    session_.Press(done, IDOK);
    robot::ExpectExit(session_, 0);
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    std::string journal = ReadFileText(std::string(kInstallDir) + "\\uninst.ini");
    EXPECT_EQ(journal.find("CreateKey"), std::string::npos) << journal;
    EXPECT_EQ(journal.find("AdmRightsRequired"), std::string::npos) << "no rights needed without the entry";
    EXPECT_NE(journal.find("CreateFile \"C:\\Program Files\\E2E Product\\setup.exe\""), std::string::npos);
}

TEST_F(Install, ExistingFileIsTheUsersUnlessAnAdvancedUserSaysYes)
{
    std::string file = std::string(kInstallDir) + "\\b.txt";
    for (bool advanced : { false, true }) {
        SCOPED_TRACE(advanced ? "advanced" : "normal");
        Cleanup();
        // The folder itself exists too: only an advanced user gets past it, with a question.
        ASSERT_TRUE(CreateDirectoryA(kInstallDir, NULL));
        ASSERT_TRUE(WriteTextFile(file, "the user's own b.txt"));
        robot::Session session;
        ASSERT_TRUE(session.Start(product_.Exe(), "", product_.Path()));
        robot::Window window;
        ASSERT_TRUE(session.NextWindow(&window, robot::kDefaultTimeoutMs));
        session.Press(window, IDYES);
        ASSERT_TRUE(session.NextWindow(&window, robot::kDefaultTimeoutMs));
        session.Press(window, IDOK);
        ASSERT_TRUE(session.NextWindow(&window, robot::kDefaultTimeoutMs));
        if (advanced)
            session.Tick(window, 1005);
        session.Press(window, IDOK);
        ASSERT_TRUE(session.NextWindow(&window, robot::kDefaultTimeoutMs));
        if (!advanced) {
            EXPECT_EQ(window.text, std::string("Directory \"") + kInstallDir + "\" already exists");
            session.Press(window, IDOK);
            ASSERT_TRUE(session.NextWindow(&window, robot::kDefaultTimeoutMs));
            session.Press(window, IDNO);
            robot::ExpectExit(session, 1);
            EXPECT_EQ(ReadFileText(file), "the user's own b.txt");
            continue;
        }
        session.Press(window, IDYES);   // take over the folder
        robot::Window question = robot::ExpectBox(session, kCaption,
            "File \"" + file + "\" already exists.\nDo you want to overwrite it?", kIconWarning, { IDYES, IDNO }, IDNO);
        session.Press(question, IDYES);
        robot::Window report;
        ASSERT_TRUE(session.NextWindow(&report, robot::kDefaultTimeoutMs));
        EXPECT_EQ(report.text.rfind("Installation completed with some warnings.", 0), 0u) << report.Describe();
        session.Press(report, IDOK);
        robot::Window notepad;
        if (session.NextWindow(&notepad, robot::kDefaultTimeoutMs))
            session.Close(notepad);
        robot::ExpectExit(session, 1);
        EXPECT_EQ(ReadFileText(file), std::string(50000, 'b'));
        EXPECT_EQ(ReadFileText(std::string(kInstallDir) + "\\uninst.ini"), ExpectedJournal()) << "recorded all the same";
    }
}

TEST_F(Install, MissingLicenseFileAbortsTheInstallation)
{
    DeleteFileA((product_.Path() + "\\license.txt").c_str());
    Start();
    AnswerPrompt(IDYES);
    robot::ExpectBox(session_, kCaption, "Cannot open file \"license.txt\" (0/2 - File not found.)", kIconError, { IDOK }, IDOK);
    session_.Press(session_.History().back(), IDOK);
    robot::Window init = robot::ExpectBox(session_, kCaption, "Cannot init dialog", kIconError, { IDOK }, IDOK);
    session_.Press(init, IDOK);
    std::string log = OnlyNewLog();
    robot::Window report = robot::ExpectBox(session_, kCaption, ReportWithKeepQuestion("Installation aborted.", log),
                                            kIconError, { IDYES, IDNO }, IDNO);
    session_.Press(report, IDNO);
    robot::ExpectExit(session_, 1);
    ExpectNothingInstalled();
}

TEST_F(Install, FailedCopyIsRolledBackNewestFirst)
{
    product_.Write("setup.ini", std::string(kScriptMain) + kScriptLists + "[Files.NTamd64]\r\nmissing.txt=%InstallDir%\r\n");
    Start();
    AnswerPrompt(IDYES);
    session_.Press(License(), IDOK);
    Options(false);
    robot::Window failure = robot::ExpectBox(session_, kCaption,
        "Cannot open \"" + product_.Path() + "\\missing.txt\" (0/2 - File not found.)", kIconError, { IDOK }, IDOK);
    session_.Press(failure, IDOK);
    std::string log = OnlyNewLog();
    robot::Window report = robot::ExpectBox(session_, kCaption, ReportWithKeepQuestion("Installation aborted.", log),
                                            kIconError, { IDYES, IDNO }, IDNO);
    session_.Press(report, IDYES);
    robot::Window notepad;
    ASSERT_TRUE(session_.NextWindow(&notepad, robot::kDefaultTimeoutMs)) << "the kept log is shown";
    session_.Close(notepad);
    robot::ExpectExit(session_, 1);
    ExpectNothingInstalled();

    // The undo lines, newest first: files, shortcuts, group folder, journal, installation folder.
    std::string dir = kInstallDir;
    std::vector<std::string> expected = {
        "Deleted file \"" + dir + "\\b.txt\"",
        "Deleted file \"" + dir + "\\a.txt\"",
        "Deleted file \"" + GroupFolder() + "\\Uninstall E2E Product.lnk\"",
        "Deleted file \"" + GroupFolder() + "\\A File.lnk\"",
        "Deleted directory \"" + GroupFolder() + "\"",
        "Deleted file \"" + dir + "\\uninst.ini\"",
        "Deleted directory \"" + dir + "\"",
    };
    std::vector<std::string> undo;
    for (const std::string &line : SplitLines(ReadFileText(log))) {
        std::string text = LineText(line);
        if (text.rfind("Deleted ", 0) == 0)
            undo.push_back(text);
    }
    EXPECT_EQ(undo, expected);
}

}  // namespace
