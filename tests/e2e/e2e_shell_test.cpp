// The spine as a user meets it: rejected command lines, the version gate, the final report
// with the trace log, the trace log's lines, and the start-up failures with their exit codes.
#include <gtest/gtest.h>
#include <regex>
#include "e2e_common.h"
#include "robot.h"

namespace {

using namespace e2e;
using robot::kIconError;
using robot::kIconWarning;

struct RejectedLine {
    const char *args;
    const char *box;
    const char *report;
};

const RejectedLine kRejectedLines[] = {
    { "-x", "Invalid command line switch \"x\"", "Installation aborted." },
    { "now please", "Error in command line: \"now please\"", "Installation aborted." },
    { "-p 10", "Command line switches mismatch", "Installation aborted." },
    { "-c -u", "Command line switches mismatch", "Uninstallation (first phase) aborted." },
    { "-u -d C:\\e2e", "Command line switches mismatch", "Uninstallation (first phase) aborted." },
    { "-u -x", "Invalid command line switch \"x\"", "Uninstallation (first phase) aborted." },
    { "-u -p 4D2 -X", "Invalid command line switch \"X\"", "Uninstallation aborted." },
};

TEST(CommandLine, EveryRejectionShowsOneBoxAndChangesNothing)
{
    ProductFolder product("cmdline");
    for (const RejectedLine &c : kRejectedLines) {
        SCOPED_TRACE(c.args);
        std::vector<std::string> logsBefore = TraceLogs();
        robot::Session session;
        ASSERT_TRUE(session.Start(product.Exe(), c.args, product.Path())) << session.LastError();
        robot::Window box = robot::ExpectBox(session, kSetupCaption, c.box, kIconError, { IDOK }, IDOK);
        session.Press(box, IDOK);
        robot::Window report = robot::ExpectBox(session, kSetupCaption, c.report, kIconError, { IDOK }, IDOK);
        session.Press(report, IDOK);
        robot::ExpectExit(session, 1);
        EXPECT_EQ(TraceLogs(), logsBefore) << "no trace log exists before the command line is read";
        EXPECT_EQ(product.Files(), std::vector<std::string>{ "setup.exe" });
    }
}

// Starts setup.exe, answers the first box, and returns the trace log seen at the report box.
struct GateRun {
    std::vector<std::string> logLinesAtReport;
    std::string logPath;
};

TEST(VersionGate, WindowsNt4IsRefusedWithTheTraceLogOffered)
{
    ProductFolder product("nt40");
    WindowsVersion version("nt40");
    for (bool keep : { false, true }) {
        SCOPED_TRACE(keep ? "keep the log" : "delete the log");
        std::vector<std::string> logsBefore = TraceLogs();
        robot::Session session;
        ASSERT_TRUE(session.Start(product.Exe(), "", product.Path())) << session.LastError();
        robot::Window gate = robot::ExpectBox(session, kSetupCaption, "Supporting only Windows 98 and later OSes",
                                              kIconError, { IDOK }, IDOK);
        std::vector<std::string> logs = NewTraceLogs(logsBefore);
        ASSERT_EQ(logs.size(), 1u);
        std::vector<std::string> lines = SplitLines(ReadFileText(logs[0]));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(LineText(lines.back()), "MessageBox: Supporting only Windows 98 and later OSes")
            << "the box is logged before it is shown";
        EXPECT_TRUE(IsErrorLine(lines.back()));
        session.Press(gate, IDOK);

        robot::Window report = robot::ExpectBox(session, kSetupCaption,
                                                ReportWithKeepQuestion("Installation aborted.", logs[0]),
                                                kIconError, { IDYES, IDNO }, IDNO);
        lines = SplitLines(ReadFileText(logs[0]));
        EXPECT_TRUE(AllLinesWellFormed(lines));
        ASSERT_GE(lines.size(), 5u);
        EXPECT_EQ(LineText(lines[0]), "Marrowgate 1.5.5.266 (64-bit)");
        EXPECT_TRUE(std::regex_match(LineText(lines[1]),
                                     std::regex(R"(System: Arch=9 CPU=\d+ ProcRev=[0-9A-F]+ NumProcs=\d+ ProcMask=[0-9A-F]+)")))
            << lines[1];
        EXPECT_TRUE(std::regex_match(LineText(lines[2]),
                                     std::regex(R"(OS version: 4\.0\.\d+ SP \d+\.\d+, SPname=".*", PID=2, SM=[0-9A-F]+, PT=[0-9A-F]+)")))
            << lines[2];
        for (int i = 0; i < 3; i++)
            EXPECT_FALSE(IsErrorLine(lines[i])) << "banner and system lines are level 8: " << lines[i];
        EXPECT_EQ(LineText(lines[3]), "MessageBox: Supporting only Windows 98 and later OSes");
        EXPECT_EQ(LineText(lines[4]), "Installation aborted.");
        EXPECT_EQ(lines.size(), 5u) << "the log is closed before the report box";

        session.Press(report, keep ? IDYES : IDNO);
        if (keep) {
            // The kept log is handed to NotePad.
            std::string name = logs[0].substr(logs[0].rfind('\\') + 1);
            robot::Window notepad;
            ASSERT_TRUE(session.NextWindow(&notepad, robot::kDefaultTimeoutMs)) << session.ProcessSummary();
            EXPECT_NE(notepad.caption.find(name), std::string::npos) << notepad.Describe();
            session.Close(notepad);
        }
        robot::ExpectExit(session, 1);
        EXPECT_EQ(PathExists(logs[0]), keep);
        DeleteFileA(logs[0].c_str());
    }
}

TEST(VersionGate, Windows98PassesTheGate)
{
    ProductFolder product("win98");   // no setup.ini: the run goes past the gate to the script
    WindowsVersion version("win98");
    std::vector<std::string> logsBefore = TraceLogs();
    robot::Session session;
    ASSERT_TRUE(session.Start(product.Exe(), "", product.Path())) << session.LastError();
    // Past the gate the run looks for its script.
    robot::ExpectBox(session, kSetupCaption, "Cannot open file \"" + product.Path() + "\\setup.ini\" (0/2 - File not found.)",
                     kIconError, { IDOK }, IDOK);
    std::vector<std::string> logs = NewTraceLogs(logsBefore);
    ASSERT_EQ(logs.size(), 1u);
    std::vector<std::string> lines = SplitLines(ReadFileText(logs[0]));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(LineText(lines[2]).rfind("OS version: 4.10.", 0), 0u) << lines[2];
    EXPECT_NE(LineText(lines[2]).find("PID=1,"), std::string::npos) << "a platform that is not NT: " << lines[2];
    session.KillAll();
    DeleteFileA(logs[0].c_str());
}

// Every line reaches the disk before the next step: the box's line is there while it shows.
TEST(TraceLog, KilledWhileABoxIsOpenEndsWithThatBox)
{
    ProductFolder product("killed");
    WindowsVersion version("nt40");
    std::vector<std::string> logsBefore = TraceLogs();
    robot::Session session;
    ASSERT_TRUE(session.Start(product.Exe(), "", product.Path())) << session.LastError();
    robot::ExpectBox(session, kSetupCaption, "Supporting only Windows 98 and later OSes", kIconError, { IDOK }, IDOK);
    session.KillAll();
    std::vector<std::string> logs = NewTraceLogs(logsBefore);
    ASSERT_EQ(logs.size(), 1u);
    std::string text = ReadFileText(logs[0]);
    std::vector<std::string> lines = SplitLines(text);
    EXPECT_TRUE(AllLinesWellFormed(lines));
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "every line is complete on disk";
    EXPECT_EQ(LineText(lines.back()), "MessageBox: Supporting only Windows 98 and later OSes");
    DeleteFileA(logs[0].c_str());
}

TEST(TraceLog, UncreatableLogAbortsWithoutTheLogParagraph)
{
    ProductFolder product("nolog");
    ScopedEnvironment tmp("TMP", "C:\\no-such-temp-folder");
    ScopedEnvironment temp("TEMP", "C:\\no-such-temp-folder");
    robot::Session session;
    ASSERT_TRUE(session.Start(product.Exe(), "", product.Path())) << session.LastError();
    robot::Window box;
    ASSERT_TRUE(session.NextWindow(&box, robot::kDefaultTimeoutMs)) << session.ProcessSummary();
    EXPECT_EQ(box.caption, kSetupCaption);
    EXPECT_EQ(box.icon, kIconError);
    const std::regex expected(R"(Cannot create trace log file "C:\\no-such-temp-folder\\brindlework_setup_log_\d{8}_\d{6}\.tmp" \(0/3 - .+\))");
    EXPECT_TRUE(std::regex_match(box.text, expected)) << box.Describe();
    session.Press(box, IDOK);
    robot::Window report = robot::ExpectBox(session, kSetupCaption, "Installation aborted.", kIconError, { IDOK }, IDOK);
    session.Press(report, IDOK);
    robot::ExpectExit(session, 1);
    EXPECT_FALSE(PathExists("C:\\no-such-temp-folder"));
}

// A broken setupapi.dll in the system folder, loaded only by setup.exe (a per-program override
// makes Wine take the file instead of its own copy). The real file comes back afterwards.
class BrokenSetupApi {
public:
    explicit BrokenSetupApi(const char *fixtureVariable)
    {
        char system[MAX_PATH];
        GetSystemDirectoryA(system, MAX_PATH);
        target_ = std::string(system) + "\\setupapi.dll";
        saved_ = target_ + ".e2e-saved";
        moved_ = MoveFileExA(target_.c_str(), saved_.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
        EXPECT_TRUE(moved_);
        EXPECT_TRUE(moved_ && CopyFileA(robot::EnvPath(fixtureVariable).c_str(), target_.c_str(), FALSE))
            << robot::EnvPath(fixtureVariable);
        HKEY key;
        RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\setup.exe\\DllOverrides", &key);
        RegSetValueExA(key, "setupapi", 0, REG_SZ, (const BYTE *)"native", 7);
        RegCloseKey(key);
    }
    ~BrokenSetupApi()
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\setup.exe\\DllOverrides");
        if (moved_) {   // never delete the real library
            DeleteFileA(target_.c_str());
            MoveFileExA(saved_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
    }

private:
    std::string target_, saved_;
    bool moved_;
};

TEST(StartUp, MissingSetupApiProcedureEndsWithExitCode2)
{
    ProductFolder product("setupapi-partial");
    BrokenSetupApi broken("SETUPAPI_PARTIAL_DLL");
    std::vector<std::string> logsBefore = TraceLogs();
    robot::Session session;
    ASSERT_TRUE(session.Start(product.Exe(), "", product.Path())) << session.LastError();
    robot::Window box;
    ASSERT_TRUE(session.NextWindow(&box, robot::kDefaultTimeoutMs)) << session.ProcessSummary();
    EXPECT_EQ(box.caption, kSetupCaption);
    EXPECT_EQ(box.icon, kIconError);
    EXPECT_EQ(box.text.rfind("Cannot get addr of SetupDiGetINFClassA (0/127 - ", 0), 0u) << box.Describe();
    session.Press(box, IDOK);
    robot::ExpectExit(session, 2);
    EXPECT_EQ(TraceLogs(), logsBefore) << "the setup API is bound before the trace log exists";
}

TEST(StartUp, SetupApiThatCannotLoadEndsSilentlyWithExitCode2)
{
    ProductFolder product("setupapi-refusing");
    BrokenSetupApi broken("SETUPAPI_REFUSING_DLL");
    robot::Session session;
    ASSERT_TRUE(session.Start(product.Exe(), "", product.Path())) << session.LastError();
    robot::ExpectExit(session, 2);
}

}  // namespace
