// Installations that meet real faults after the user said yes: a destination that cannot be
// written, a full disk, a folder name too long for a path, a registration the registry refuses.
// Each is reported with its cause and rolled back.
#include <gtest/gtest.h>
#include <regex>
#include "e2e_common.h"
#include "robot.h"

namespace {

using namespace e2e;
using robot::kIconError;
using robot::kIconWarning;

const char kCaption[] = "Faulty installation";

std::string Script(const std::string &installDir, const std::string &appName, const std::string &files)
{
    return "[Main]\r\nAppName=" + appName + "\r\nAppVersion=1.0\r\nDefaultProgramGroup=Faulty\r\n"
           "DefaultInstallDir=" + installDir + "\r\nStartMenuFolder=%CommonProgramsFolder%\r\n"
           "RegisterUninstaller=1\r\n[Files]\r\n" + files + "[Links]\r\nA=%InstallDir%\\a.txt\r\n";
}

class Faults : public ::testing::Test {
protected:
    Faults() : product_("faults") {}
    void SetUp() override
    {
        Cleanup();
        product_.Write("a.txt", "a");
        product_.Write("big.bin", std::string(200000, 'z'));
        logsBefore_ = TraceLogs();
    }
    void TearDown() override
    {
        DeleteNewTraceLogs(logsBefore_);
        Cleanup();
    }
    static void Cleanup()
    {
        RemoveTree(CommonProgramsFolder() + "\\Faulty");
        RemoveTree("C:\\Faulty");
        RemoveTree("C:\\" + std::string(250, 'd'));
        RemoveTree("T:\\Faulty");
    }
    // Runs up to the first box after the options dialog; returns it.
    robot::Window RunUntilFailure(robot::Session &session, const std::string &typedInstallDir = "")
    {
        robot::Window window;
        EXPECT_TRUE(session.Start(product_.Exe(), "", product_.Path()));
        EXPECT_TRUE(session.NextWindow(&window, robot::kDefaultTimeoutMs));   // the prompt
        session.Press(window, IDYES);
        EXPECT_TRUE(session.NextWindow(&window, robot::kDefaultTimeoutMs));   // the options
        if (!typedInstallDir.empty())
            session.SetEditText(window, 1001, typedInstallDir);
        session.Press(window, IDOK);
        EXPECT_TRUE(session.NextWindow(&window, robot::kDefaultTimeoutMs)) << session.ProcessSummary();
        return window;
    }
    // Declines to keep the log at the aborted report and expects exit code 1.
    void FinishAborted(robot::Session &session)
    {
        robot::Window report;
        ASSERT_TRUE(session.NextWindow(&report, robot::kDefaultTimeoutMs));
        EXPECT_EQ(report.text.rfind("Installation aborted.\n\nA trace log is saved to", 0), 0u) << report.Describe();
        EXPECT_EQ(report.icon, kIconError);
        for (const std::string &log : NewTraceLogs(logsBefore_))
            logText_ += ReadFileText(log);
        session.Press(report, IDNO);
        robot::ExpectExit(session, 1);
    }
    std::vector<std::string> UndoLines()
    {
        std::vector<std::string> lines;
        for (const std::string &line : SplitLines(logText_))
            if (LineText(line).rfind("Deleted ", 0) == 0)
                lines.push_back(LineText(line));
        return lines;
    }

    ProductFolder product_;
    std::vector<std::string> logsBefore_;
    std::string logText_;   // the trace log as it was at the final report
};

TEST_F(Faults, DestinationFolderThatDoesNotExist)
{
    product_.Write("setup.ini", Script("C:\\Faulty", "Faulty", "a.txt=%InstallDir%\r\nbig.bin=%InstallDir%\\missing-sub\r\n"));
    robot::Session session;
    robot::Window failure = RunUntilFailure(session);
    EXPECT_EQ(failure.caption, kCaption);
    EXPECT_EQ(failure.text, "Cannot create \"C:\\Faulty\\missing-sub\\big.bin\" (0/3 - Path not found.)") << failure.Describe();
    session.Press(failure, IDOK);
    FinishAborted(session);
    EXPECT_FALSE(PathExists("C:\\Faulty"));
    EXPECT_FALSE(PathExists(CommonProgramsFolder() + "\\Faulty"));
    EXPECT_EQ(UndoLines(), (std::vector<std::string>{
        "Deleted file \"C:\\Faulty\\a.txt\"",
        "Deleted file \"" + CommonProgramsFolder() + "\\Faulty\\Uninstall Faulty.lnk\"",
        "Deleted file \"" + CommonProgramsFolder() + "\\Faulty\\A.lnk\"",
        "Deleted directory \"" + CommonProgramsFolder() + "\\Faulty\"",
        "Deleted file \"C:\\Faulty\\uninst.ini\"",
        "Deleted directory \"C:\\Faulty\"" }));
}

TEST_F(Faults, FullDiskFailsTheCopyAndKeepsWhatWasPartlyWritten)
{
    product_.Write("setup.ini", Script("T:\\Faulty", "Faulty", "a.txt=%InstallDir%\r\nbig.bin=%InstallDir%\r\n"));
    robot::Session session;
    robot::Window failure = RunUntilFailure(session);
    EXPECT_EQ(failure.text.rfind("Cannot write to \"T:\\Faulty\\big.bin\" (0/112 - ", 0), 0u) << failure.Describe() << logText_;
    session.Press(failure, IDOK);
    // The partly written file was never recorded, so the folder keeps it and cannot go.
    robot::Window warning;
    ASSERT_TRUE(session.NextWindow(&warning, robot::kDefaultTimeoutMs));
    EXPECT_EQ(warning.icon, kIconWarning);
    EXPECT_EQ(warning.text.rfind("Cannot delete directory \"T:\\Faulty\" (", 0), 0u) << warning.Describe();
    session.Press(warning, IDOK);
    FinishAborted(session);
    std::vector<std::string> undo = UndoLines();
    EXPECT_EQ(undo, (std::vector<std::string>{
        "Deleted file \"T:\\Faulty\\a.txt\"",
        "Deleted file \"" + CommonProgramsFolder() + "\\Faulty\\Uninstall Faulty.lnk\"",
        "Deleted file \"" + CommonProgramsFolder() + "\\Faulty\\A.lnk\"",
        "Deleted directory \"" + CommonProgramsFolder() + "\\Faulty\"",
        "Deleted file \"T:\\Faulty\\uninst.ini\"" }));
    EXPECT_FALSE(PathExists("T:\\Faulty\\a.txt"));
    EXPECT_FALSE(PathExists("T:\\Faulty\\uninst.ini"));
    EXPECT_TRUE(PathExists("T:\\Faulty\\big.bin"));
}

TEST_F(Faults, FolderNameTooLongForItsFiles)
{
    product_.Write("setup.ini", Script("C:\\Faulty", "Faulty", "a.txt=%InstallDir%\r\n"));
    std::string longDir = "C:\\" + std::string(250, 'd');
    robot::Session session;
    robot::Window failure = RunUntilFailure(session, longDir);
    // uninst.ini does not fit beside that folder name: its path comes out empty and is refused.
    EXPECT_EQ(failure.text.rfind("Cannot create file \"\" (0/", 0), 0u) << failure.Describe();
    session.Press(failure, IDOK);
    FinishAborted(session);
    EXPECT_FALSE(PathExists(longDir));
    EXPECT_EQ(UndoLines(), (std::vector<std::string>{ "Deleted directory \"" + longDir + "\"" }));
}

TEST_F(Faults, RegistrationRefusedByTheRegistryIsRolledBack)
{
    // A version so long that the entry's name passes the registry's 255 characters: this Wine
    // refuses the key with error 87.
    std::string longVersion = "1." + std::string(250, '9');
    std::string script = Script("C:\\Faulty", "Faulty", "a.txt=%InstallDir%\r\n");
    script.replace(script.find("AppVersion=1.0"), 14, "AppVersion=" + longVersion);
    product_.Write("setup.ini", script);
    robot::Session session;
    robot::Window window = RunUntilFailure(session);
    EXPECT_EQ(window.text, "Cannot create registry key \"Faulty " + longVersion + "\" (0/87 - Invalid parameter.)")
        << window.Describe();
    session.Press(window, IDOK);
    FinishAborted(session);
    EXPECT_FALSE(PathExists("C:\\Faulty")) << logText_;
    EXPECT_FALSE(PathExists(CommonProgramsFolder() + "\\Faulty"));
    EXPECT_EQ(UndoLines(), (std::vector<std::string>{
        "Deleted file \"C:\\Faulty\\setup.exe\"",
        "Deleted file \"C:\\Faulty\\a.txt\"",
        "Deleted file \"" + CommonProgramsFolder() + "\\Faulty\\Uninstall Faulty.lnk\"",
        "Deleted file \"" + CommonProgramsFolder() + "\\Faulty\\A.lnk\"",
        "Deleted directory \"" + CommonProgramsFolder() + "\\Faulty\"",
        "Deleted file \"C:\\Faulty\\uninst.ini\"",
        "Deleted directory \"C:\\Faulty\"" }));
}

}  // namespace

namespace {

TEST_F(Faults, ShortcutNameTooLongForItsFolder)
{
    std::string longName = "Faulty " + std::string(200, 'n');
    std::string script = Script("C:\\Faulty", longName, "a.txt=%InstallDir%\r\n");
    product_.Write("setup.ini", script);
    robot::Session session;
    robot::Window failure = RunUntilFailure(session);
    EXPECT_EQ(failure.text, "Cannot save shortcut file (0/206 - File name is too long.)") << failure.Describe();
    session.Press(failure, IDOK);
    FinishAborted(session);
    EXPECT_FALSE(PathExists("C:\\Faulty")) << logText_;
    EXPECT_FALSE(PathExists(CommonProgramsFolder() + "\\Faulty"));
    EXPECT_EQ(UndoLines(), (std::vector<std::string>{
        "Deleted file \"" + CommonProgramsFolder() + "\\Faulty\\A.lnk\"",
        "Deleted directory \"" + CommonProgramsFolder() + "\\Faulty\"",
        "Deleted file \"C:\\Faulty\\uninst.ini\"",
        "Deleted directory \"C:\\Faulty\"" }));
}

}  // namespace
