// Uninstallation as the uninstall shortcut starts it: the primary copy in the installation folder
// asks, hands over to a secondary copy in the temporary folder, and that copy removes everything,
// the primary's own file included, and then itself.
#include <gtest/gtest.h>
#include <algorithm>
#include "e2e_common.h"
#include "robot.h"

namespace {

using namespace e2e;
using robot::kIconError;
using robot::kIconInformation;
using robot::kIconQuestion;
using robot::kIconWarning;

const char kInstallDir[] = "C:\\Program Files\\Removable";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Removable 3.0";
const char kQuestion[] = "Do you really want to uninstall Removable?";

const char kScript[] =
    "[Main]\r\n"
    "AppName=Removable\r\n"
    "AppVersion=3.0\r\n"
    "DefaultProgramGroup=Removable\r\n"
    "DefaultInstallDir=%ProgramFilesDir%\\%AppName%\r\n"
    "StartMenuFolder=%CommonProgramsFolder%\r\n"
    "RegisterUninstaller=1\r\n"
    "[Files]\r\n"
    "a.txt=%InstallDir%\r\n"
    "b.dll=%InstallDir%\r\n"
    "[Links]\r\n"
    "A=%InstallDir%\\a.txt\r\n";

// Temporary program copies and batch files: what the uninstaller leaves behind if it fails to
// remove itself.
std::vector<std::string> TemporaryCopies()
{
    std::vector<std::string> names;
    for (const char *pattern : { "\\*.EXE", "\\*.BAT" }) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((TempFolder() + pattern).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do
            names.push_back(found.cFileName);
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return names;
}

class Uninstall : public ::testing::Test {
protected:
    Uninstall() : product_("removable") {}
    void SetUp() override
    {
        Cleanup();
        product_.Write("setup.ini", kScript);
        product_.Write("a.txt", "a");
        product_.Write("b.dll", "b");
        copiesBefore_ = TemporaryCopies();
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
    static std::string GroupFolder() { return CommonProgramsFolder() + "\\Removable"; }
    static std::string InstalledExe() { return std::string(kInstallDir) + "\\setup.exe"; }

    // A complete installation, answered like a user would.
    void InstallProduct()
    {
        robot::Session session;
        ASSERT_TRUE(session.Start(product_.Exe(), "", product_.Path()));
        robot::Window window;
        ASSERT_TRUE(session.NextWindow(&window, robot::kDefaultTimeoutMs));
        session.Press(window, IDYES);
        ASSERT_TRUE(session.NextWindow(&window, robot::kDefaultTimeoutMs));
        session.Press(window, IDOK);
        robot::Window done = robot::ExpectBox(session, "Removable installation", "Installation completed successfully.",
                                              kIconInformation, { IDOK }, IDOK);
        session.Press(done, IDOK);
        ASSERT_TRUE(robot::ExpectExit(session, 0));
        ASSERT_TRUE(PathExists(InstalledExe()));
        logsBefore_ = TraceLogs();
    }
    void StartUninstaller(robot::Session &session, const std::string &exe = "", const std::string &args = "-u")
    {
        // As the shortcut starts it: in the installation folder.
        ASSERT_TRUE(session.Start(exe.empty() ? InstalledExe() : exe, args, kInstallDir)) << session.LastError();
    }
    void ExpectEverythingRemoved()
    {
        EXPECT_FALSE(PathExists(kInstallDir));
        EXPECT_FALSE(PathExists(GroupFolder()));
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_EQ(TemporaryCopies(), copiesBefore_) << "the temporary copy and batch file are gone";
        EXPECT_TRUE(NewTraceLogs(logsBefore_).empty()) << "both trace logs are deleted after success";
    }
    void ExpectNothingRemoved()
    {
        EXPECT_TRUE(PathExists(InstalledExe()));
        EXPECT_TRUE(PathExists(std::string(kInstallDir) + "\\uninst.ini"));
        EXPECT_TRUE(PathExists(std::string(kInstallDir) + "\\a.txt"));
        EXPECT_TRUE(PathExists(GroupFolder() + "\\A.lnk"));
        EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_EQ(TemporaryCopies(), copiesBefore_);
    }
    // The secondary's exit code: the process started from a copy in the temporary folder.
    static bool SecondaryExitCode(const robot::Session &session, DWORD *code)
    {
        for (const robot::ProcessInfo &process : session.Processes()) {
            std::string exe = process.exe;
            std::transform(exe.begin(), exe.end(), exe.begin(), ::tolower);
            if (exe.size() == 40 && exe.substr(36) == ".exe" && process.exitKnown) {
                *code = process.exitCode;
                return true;
            }
        }
        return false;
    }

    ProductFolder product_;
    std::vector<std::string> copiesBefore_;
    std::vector<std::string> logsBefore_;
};

void ExpectCompleteUninstallation(Uninstall *test, robot::Session &session)
{
    robot::Window question = robot::ExpectBox(session, "Removable uninstallation", kQuestion, kIconQuestion,
                                              { IDYES, IDNO }, IDNO);
    session.Press(question, IDYES);
    // The secondary knows no product name: its boxes say "Setup".
    robot::Window done = robot::ExpectBox(session, kSetupCaption, "Uninstallation completed successfully.",
                                          kIconInformation, { IDOK }, IDOK);
    EXPECT_NE(done.pid, session.RootPid()) << "the report comes from the secondary";
    session.Press(done, IDOK);
    robot::ExpectExit(session, 0);
}

TEST_F(Uninstall, RemovesEverythingItselfIncluded)
{
    InstallProduct();
    ClearPendingRenames();
    robot::Session session;
    StartUninstaller(session);
    ExpectCompleteUninstallation(this, session);
    DWORD secondaryCode = 99;
    EXPECT_TRUE(SecondaryExitCode(session, &secondaryCode)) << session.ProcessSummary();
    EXPECT_EQ(secondaryCode, 0u);
    ExpectEverythingRemoved();
    // From Windows 6 on the copy goes through the command interpreter's batch file, not through a
    // deletion queued for the restart.
    bool interpreter = false;
    for (const robot::ProcessInfo &process : session.Processes())
        interpreter |= lstrcmpiA(process.exe.c_str(), "cmd.exe") == 0;
    EXPECT_TRUE(interpreter) << session.ProcessSummary();
    EXPECT_EQ(PendingRenames().find(".EXE"), std::string::npos);
}

TEST_F(Uninstall, WindowsXpDeletesTheCopyOnClose)
{
    InstallProduct();
    WindowsVersion version("winxp64");
    robot::Session session;
    StartUninstaller(session);
    ExpectCompleteUninstallation(this, session);
    ExpectEverythingRemoved();
    EXPECT_NE(PendingRenames().find(".EXE"), std::string::npos) << "the copy is queued for deletion at restart as well";
    ClearPendingRenames();
}

TEST_F(Uninstall, NoToTheQuestionTouchesNothing)
{
    InstallProduct();
    robot::Session session;
    StartUninstaller(session);
    robot::Window question = robot::ExpectBox(session, "Removable uninstallation", kQuestion, kIconQuestion,
                                              { IDYES, IDNO }, IDNO);
    session.Press(question, IDNO);
    robot::ExpectExit(session, 0);
    ExpectNothingRemoved();
    EXPECT_TRUE(NewTraceLogs(logsBefore_).empty());
}

TEST_F(Uninstall, BrokenJournalsRemoveNothing)
{
    InstallProduct();
    std::string journalPath = std::string(kInstallDir) + "\\uninst.ini";
    std::string journal = ReadFileText(journalPath);
    struct Case { std::string journal; std::string box; std::string caption; };
    std::string withoutName = journal;
    withoutName.erase(withoutName.find("AppName"), withoutName.find("\r\n", withoutName.find("AppName")) + 2 - withoutName.find("AppName"));
    const Case cases[] = {
        { "", "Cannot open file \"uninst.ini\" (0/2 - File not found.)", kSetupCaption },
        { withoutName, "No AppName event in file \"uninst.ini\"", kSetupCaption },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.box);
        if (c.journal.empty())
            DeleteFileA(journalPath.c_str());
        else
            WriteTextFile(journalPath, c.journal);
        robot::Session session;
        StartUninstaller(session);
        robot::Window box = robot::ExpectBox(session, c.caption, c.box, kIconError, { IDOK }, IDOK);
        session.Press(box, IDOK);
        robot::Window report;
        ASSERT_TRUE(session.NextWindow(&report, robot::kDefaultTimeoutMs));
        EXPECT_EQ(report.text.rfind("Uninstallation (first phase) aborted.\n\nA trace log is saved to", 0), 0u)
            << report.Describe();
        session.Press(report, IDNO);
        robot::ExpectExit(session, 1);
        EXPECT_TRUE(PathExists(InstalledExe()));
        EXPECT_TRUE(PathExists(std::string(kInstallDir) + "\\a.txt"));
        EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_EQ(TemporaryCopies(), copiesBefore_);
    }
}

TEST_F(Uninstall, SecondStartWhileTheFirstWaitsIsRefused)
{
    InstallProduct();
    robot::Session first;
    StartUninstaller(first);
    robot::Window question = robot::ExpectBox(first, "Removable uninstallation", kQuestion, kIconQuestion,
                                              { IDYES, IDNO }, IDNO);
    // Started at once: its trace log cannot take the first run's name and takes the next second's.
    robot::Session second;
    StartUninstaller(second);
    robot::Window refused;
    ASSERT_TRUE(second.NextWindow(&refused, robot::kDefaultTimeoutMs));
    EXPECT_EQ(refused.caption, kSetupCaption);
    EXPECT_EQ(refused.text.rfind("Cannot create sync event (0/183 - ", 0), 0u) << refused.Describe();
    second.Press(refused, IDOK);
    robot::Window report;
    ASSERT_TRUE(second.NextWindow(&report, robot::kDefaultTimeoutMs));
    EXPECT_EQ(report.text.rfind("Uninstallation (first phase) aborted.", 0), 0u) << report.Describe();
    EXPECT_EQ(NewTraceLogs(logsBefore_).size(), 2u) << "each run has a log of its own";
    second.Press(report, IDNO);
    robot::ExpectExit(second, 1);
    first.Press(question, IDNO);
    robot::ExpectExit(first, 0);
    ExpectNothingRemoved();
}

TEST_F(Uninstall, InterpreterThatCannotStartTheSecondaryDoesNotHang)
{
    InstallProduct();
    // The batch line names the copy without quotes: a blank in the temporary folder breaks it.
    const std::string blankTemp = "C:\\temp with blank";
    CreateDirectoryA(blankTemp.c_str(), NULL);
    ScopedEnvironment tmp("TMP", blankTemp.c_str());
    ScopedEnvironment temp("TEMP", blankTemp.c_str());
    robot::Session session;
    StartUninstaller(session);
    robot::Window question;
    ASSERT_TRUE(session.NextWindow(&question, robot::kDefaultTimeoutMs));
    session.Press(question, IDYES);
    robot::Window failure = robot::ExpectBox(session, "Removable uninstallation",
                                             "Cannot get signal from secondary process", kIconError, { IDOK }, IDOK);
    session.Press(failure, IDOK);
    robot::Window report;
    ASSERT_TRUE(session.NextWindow(&report, robot::kDefaultTimeoutMs));
    EXPECT_EQ(report.text.rfind("Uninstallation (first phase) aborted.\n\nA trace log is saved to \"" + blankTemp, 0), 0u)
        << report.Describe();
    session.Press(report, IDNO);
    robot::ExpectExit(session, 1);
    ExpectNothingRemoved();
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((blankTemp + "\\*.*").c_str(), &found);
    std::vector<std::string> left;
    if (search != INVALID_HANDLE_VALUE) {
        do
            if (found.cFileName[0] != '.')
                left.push_back(found.cFileName);
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    EXPECT_TRUE(left.empty()) << "the copy, the batch file and the log are deleted: " << left.size() << " left";
    RemoveTree(blankTemp);
}

TEST_F(Uninstall, SecondaryWithoutPrimaryRunsTheSecondPhaseAtOnce)
{
    InstallProduct();
    robot::Session session;
    // A copy outside the installation folder, started by hand as the secondary.
    ASSERT_TRUE(session.Start(product_.Exe(), std::string("-u -p FFFFFFFF -d \"") + kInstallDir + "\"", product_.Path()));
    robot::Window done = robot::ExpectBox(session, kSetupCaption, "Uninstallation completed successfully.",
                                          kIconInformation, { IDOK }, IDOK);
    session.Press(done, IDOK);
    robot::ExpectExit(session, 0);
    ExpectEverythingRemoved();
    EXPECT_TRUE(PathExists(product_.Exe()));
}

TEST_F(Uninstall, SecondaryWithoutItsWaitingPrimaryRemovesNothing)
{
    InstallProduct();
    robot::Session session;
    ASSERT_TRUE(session.Start(product_.Exe(), std::string("-u -p 4D2 -d \"") + kInstallDir + "\"", product_.Path()));
    robot::Window refused;
    ASSERT_TRUE(session.NextWindow(&refused, robot::kDefaultTimeoutMs));
    EXPECT_EQ(refused.caption, kSetupCaption);
    EXPECT_EQ(refused.text.rfind("Cannot open sync event (0/2 - ", 0), 0u) << refused.Describe();
    session.Press(refused, IDOK);
    robot::Window report;
    ASSERT_TRUE(session.NextWindow(&report, robot::kDefaultTimeoutMs));
    EXPECT_EQ(report.text.rfind("Uninstallation aborted.\n\nA trace log is saved to", 0), 0u) << report.Describe();
    session.Press(report, IDNO);
    robot::ExpectExit(session, 1);
    ExpectNothingRemoved();
}

TEST_F(Uninstall, FolderWithTheUsersFileStays)
{
    InstallProduct();
    std::string own = std::string(kInstallDir) + "\\my notes.txt";
    WriteTextFile(own, "mine");
    robot::Session session;
    StartUninstaller(session);
    robot::Window question;
    ASSERT_TRUE(session.NextWindow(&question, robot::kDefaultTimeoutMs));
    session.Press(question, IDYES);
    robot::Window warning;
    ASSERT_TRUE(session.NextWindow(&warning, robot::kDefaultTimeoutMs));
    EXPECT_EQ(warning.icon, kIconWarning);
    EXPECT_EQ(warning.text.rfind(std::string("Cannot delete directory \"") + kInstallDir + "\" (", 0), 0u) << warning.Describe();
    session.Press(warning, IDOK);
    robot::Window report;
    ASSERT_TRUE(session.NextWindow(&report, robot::kDefaultTimeoutMs));
    EXPECT_EQ(report.icon, kIconWarning);
    EXPECT_EQ(report.text.rfind("Uninstallation completed with some warnings.\n\nA trace log is saved to", 0), 0u)
        << report.Describe();
    EXPECT_NE(report.text.find("Keep the trace log file?"), std::string::npos);
    session.Press(report, IDNO);
    robot::ExpectExit(session, 0);
    DWORD secondaryCode = 0;
    EXPECT_TRUE(SecondaryExitCode(session, &secondaryCode));
    EXPECT_EQ(secondaryCode, 1u);
    EXPECT_EQ(ReadFileText(own), "mine");
    EXPECT_FALSE(PathExists(InstalledExe()));
    EXPECT_FALSE(PathExists(GroupFolder()));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST_F(Uninstall, FileThatCannotBeDeletedIsQueuedForTheRestart)
{
    InstallProduct();
    std::string locked = std::string(kInstallDir) + "\\b.dll";
    ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));   // deleting it: error 5
    robot::Session session;
    StartUninstaller(session);
    robot::Window question;
    ASSERT_TRUE(session.NextWindow(&question, robot::kDefaultTimeoutMs));
    session.Press(question, IDYES);
    std::string retryText = "File \"" + locked + "\" being deleted is currently in use. If there are active applications, "
        "they may use this file and prevent it to be deleted. You can close some applications and retry delete "
        "operation.\n\nIf all product files will be successfully deleted, no restart is required. Otherwise, "
        "Windows must be restarted to complete the uninstallation.\n\nRetry delete operation?";
    for (int answer : { IDYES, IDNO }) {
        robot::Window retry = robot::ExpectBox(session, kSetupCaption, retryText, kIconWarning, { IDYES, IDNO }, IDYES);
        session.Press(retry, answer);
    }
    // The renamed file keeps the folder.
    robot::Window warning;
    ASSERT_TRUE(session.NextWindow(&warning, robot::kDefaultTimeoutMs));
    EXPECT_EQ(warning.text.rfind(std::string("Cannot delete directory \"") + kInstallDir + "\" (", 0), 0u) << warning.Describe();
    session.Press(warning, IDOK);
    robot::Window report;
    ASSERT_TRUE(session.NextWindow(&report, robot::kDefaultTimeoutMs));
    EXPECT_EQ(report.text.rfind("Uninstallation completed with some warnings.", 0), 0u) << report.Describe();
    session.Press(report, IDNO);
    robot::Window restart = robot::ExpectBox(session, kSetupCaption,
        "Uninstaller cannot delete some files because they are in use.\nTo properly delete them, Windows must be "
        "restarted. If you choose\nto restart later, you must not try to install this product until\nthe files will "
        "be deleted.\n\nRestart Windows now?", kIconWarning, { IDYES, IDNO }, IDYES);
    session.Press(restart, IDNO);   // never restart the shared prefix
    robot::ExpectExit(session, 0);

    EXPECT_FALSE(PathExists(locked));
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(kInstallDir) + "\\*.tmp").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE) << "renamed within its folder";
    std::string renamed = found.cFileName;
    FindClose(search);
    EXPECT_EQ(renamed.size(), 40u);
    EXPECT_NE(PendingRenames().find(renamed), std::string::npos);
    ClearPendingRenames();
    SetFileAttributesA((std::string(kInstallDir) + "\\" + renamed).c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

namespace {

// A hand-edited and damaged journal is replayed as far as it makes sense: warnings, and only
// what it names is removed.
TEST(HandEditedJournal, WarnsAndRemovesOnlyWhatItNames)
{
    const std::string dir = "C:\\Program Files\\Hand";
    RemoveTree(dir);
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), NULL));
    ASSERT_TRUE(CopyFileA(SetupExe().c_str(), (dir + "\\setup.exe").c_str(), FALSE));
    WriteTextFile(dir + "\\keep.txt", "not named");
    WriteTextFile(dir + "\\gone.txt", "named");
    std::string garbage;
    for (int i = 0; i < 600; i++)
        garbage += (char)(i * 37 % 254 + 1);
    WriteTextFile(dir + "\\uninst.ini",
        ";\r\n; edited by hand\r\nAppName \"Hand\"\r\nBogus \"x\"\r\n"
        "CreateFile \"" + dir + "\\keep.txt\r\n"          // no closing quote: no argument
        "CreateFile " + dir + "\\keep.txt\r\n"             // unquoted: the first word only
        "CreateKey \"HKCR\\Software\\Hand\"\r\n"
        "CreateKey \"HKLM\"\r\n" + garbage + "\r\n" + std::string(5000, 'L') + "\r\n"
        "CreateFile \"" + dir + "\\gone.txt\"\r\n");
    std::vector<std::string> logsBefore = TraceLogs();
    robot::Session session;
    ASSERT_TRUE(session.Start(dir + "\\setup.exe", "-u", dir));
    robot::Window window;
    ASSERT_TRUE(session.NextWindow(&window, robot::kDefaultTimeoutMs));
    EXPECT_EQ(window.text, "Do you really want to uninstall Hand?");
    session.Press(window, IDYES);
    std::vector<std::string> boxes;
    std::string report;
    while (session.NextWindow(&window, robot::kDefaultTimeoutMs)) {
        if (window.text.find("Keep the trace log file?") != std::string::npos) {
            report = window.text;
            session.Press(window, IDNO);
            continue;
        }
        boxes.push_back(window.text.substr(0, 60));
        session.Press(window, window.defaultButton != 0 ? window.defaultButton : IDOK);
    }
    robot::ExpectExit(session, 0);
    EXPECT_EQ(report.rfind("Uninstallation completed with some warnings.", 0), 0u) << report;
    // Newest first: the long line and the garbage's lines are unknown events, the two keys lie
    // outside the known roots, the path without its closing quote gives no argument, Bogus.
    ASSERT_GE(boxes.size(), 6u);
    EXPECT_EQ(boxes[0], "Unknown installation event " + std::string(33, 'L'));
    EXPECT_EQ(boxes[1].rfind("Unknown installation event ", 0), 0u) << boxes[1];
    size_t last = boxes.size() - 1;
    EXPECT_EQ(boxes[last - 3].rfind("Cannot delete key \"HKLM\" (0/2 - ", 0), 0u) << boxes[last - 3];
    EXPECT_EQ(boxes[last - 2].rfind("Cannot delete key \"HKCR\\Software\\Hand\" (0/2 - ", 0), 0u) << boxes[last - 2];
    EXPECT_EQ(boxes[last - 1].rfind("Cannot delete file \"\" (0/3 - ", 0), 0u) << boxes[last - 1];
    EXPECT_EQ(boxes[last], "Unknown installation event Bogus");
    EXPECT_FALSE(PathExists(dir + "\\gone.txt"));
    EXPECT_EQ(ReadFileText(dir + "\\keep.txt"), "not named");
    EXPECT_TRUE(PathExists(dir + "\\setup.exe")) << "not named in this journal";
    EXPECT_TRUE(PathExists(dir + "\\uninst.ini"));
    DeleteNewTraceLogs(logsBefore);
    RemoveTree(dir);
}

}  // namespace

namespace {

// A product name that fits a journal line but not a path-sized buffer: what is recorded must
// come back whole at uninstallation.
TEST(LongProductName, EntryInTheListOfProgramsIsRemovedAgain)
{
    std::string name = "Long";
    while (name.size() < 200)
        name += " name";   // words, so that the boxes wrap the text and stay on the screen
    const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name + " 1.0";
    const std::string caption = name.substr(0, 127 - 13) + " installation";
    ProductFolder product("longname");
    product.Write("setup.ini", "[Main]\r\nAppName=" + name + "\r\nAppVersion=1.0\r\nDefaultProgramGroup=LongGroup\r\n"
                               "DefaultInstallDir=C:\\Long\r\nStartMenuFolder=C:\\\r\n"
                               "RegisterUninstaller=1\r\n");
    std::vector<std::string> logsBefore = TraceLogs();
    robot::Session install;
    ASSERT_TRUE(install.Start(product.Exe(), "", product.Path()));
    robot::Window window = robot::ExpectBox(install, caption, name + " 1.0 will be installed on your computer.\nDo you want to continue?",
                                            kIconQuestion, { IDYES, IDNO }, IDNO);
    install.Press(window, IDYES);
    ASSERT_TRUE(install.NextWindow(&window, robot::kDefaultTimeoutMs));
    install.Press(window, IDOK);
    window = robot::ExpectBox(install, caption, "Installation completed successfully.", kIconInformation, { IDOK }, IDOK);
    install.Press(window, IDOK);
    ASSERT_TRUE(robot::ExpectExit(install, 0));
    ASSERT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, key));

    robot::Session uninstall;
    ASSERT_TRUE(uninstall.Start("C:\\Long\\setup.exe", "-u", "C:\\Long"));
    window = robot::ExpectBox(uninstall, name.substr(0, 127 - 15) + " uninstallation", "Do you really want to uninstall " + name + "?",
                              kIconQuestion, { IDYES, IDNO }, IDNO);
    uninstall.Press(window, IDYES);
    window = robot::ExpectBox(uninstall, kSetupCaption, "Uninstallation completed successfully.", kIconInformation, { IDOK }, IDOK);
    uninstall.Press(window, IDOK);
    robot::ExpectExit(uninstall, 0);
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, key));
    EXPECT_FALSE(PathExists("C:\\Long"));
    EXPECT_FALSE(PathExists("C:\\LongGroup"));
    DeleteNewTraceLogs(logsBefore);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    RemoveTree("C:\\Long");
    RemoveTree("C:\\LongGroup");
}

}  // namespace
