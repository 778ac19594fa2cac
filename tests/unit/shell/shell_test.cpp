// The spine: the command line's roles, the trace log's name, the final report and the exit code
// of a run that runs out of memory.
#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "shell/cmdline.h"
#include "shell/run_files.h"
#include "shell/runflow.h"
#include "support/memory.h"
#include "support/runstate.h"

namespace {

TEST(StripProgramName, QuotedPlainAndBlankFirst)
{
    const char *cases[][2] = {
        { "\"C:\\Program Files\\Demo\\setup.exe\"   -u", "-u" }, { "\"C:\\Demo\\setup.exe\"", "" },
        { "setup.exe \t -u -p 1", "-u -p 1" }, { "setup.exe", "" },
        { " -u -p 000004D2 -d \"C:\\Demo\"", "-u -p 000004D2 -d \"C:\\Demo\"" },   // an empty program name
        { "\"C:\\no closing quote -u", "" },
    };
    for (const auto &c : cases)
        EXPECT_STREQ(StripProgramName(c[0]), c[1]) << c[0];
}

struct ParseCase {
    const char *tail;
    const char *box;   // the one error box, or null when accepted
    bool installMode, fromCurrentDir;
    DWORD pid;
    const char *installDir;
};

const std::string kLongFolder(300, 'f');
const std::string kLongSwitch = "-u -p 1 -d \"" + kLongFolder + "\"";
const std::string kLongBox = "Error in command line: \"\"" + kLongFolder + "\"\"";

const ParseCase kParseCases[] = {
    { "", NULL, true, false, 0, NULL },
    { "-c", NULL, true, true, 0, NULL },
    { "-u", NULL, false, false, 0, NULL },
    { "-d \"C:\\Program Files\\x\" -p 4d2 -u", NULL, false, false, 0x4D2, "C:\\Program Files\\x" },
    { "-u -p1 -dC:\\x", NULL, false, false, 1, "C:\\x" },
    { "-u -d \"C:\\a\" -p 1 -d \"C:\\b\"", NULL, false, false, 1, "C:\\b" },   // the last -d wins
    { "-u -p 1 -p", NULL, false, false, 0, NULL },                            // ... and the last -p
    { "-p", NULL, true, false, 0, NULL },                                     // no digits: no -p
    { "-u -p 5 -d \"\"", "Command line switches mismatch", false, false, 5, NULL },
    { "-u -p 5 -d", "Command line switches mismatch", false, false, 5, NULL },
    { "-d C:\\x", "Command line switches mismatch", true, false, 0, NULL },
    { "-U", "Invalid command line switch \"U\"", true, false, 0, NULL },
    { "-cu", "Error in command line: \"u\"", true, true, 0, NULL },
    { "-u -p 1 -d \"C:\\x", "Error in command line: \"\"C:\\x\"", false, false, 1, NULL },
    { kLongSwitch.c_str(), kLongBox.c_str(), false, false, 1, NULL },
};

TEST(ParseCommandLine, AcceptsTheThreeRolesAndRejectsTheRest)
{
    for (const ParseCase &c : kParseCases) {
        LogCapture log;
        SCOPED_TRACE(c.tail);
        ::Run.CommandLineTail = c.tail;
        EXPECT_EQ(ParseCommandLine(), c.box == NULL);
        EXPECT_EQ(log.BoxCount(), c.box == NULL ? 0 : 1);
        EXPECT_EQ(log.LastBoxText(), c.box == NULL ? "" : c.box);
        EXPECT_EQ(::Run.InstallMode, c.installMode);
        EXPECT_EQ(::Run.SourceFromCurrentDir, c.fromCurrentDir);
        EXPECT_EQ(::Run.PrimaryPid, c.pid);
        EXPECT_EQ(std::string(::Run.InstallDir ? ::Run.InstallDir : "(none)"), c.installDir ? c.installDir : "(none)");
    }
}

// A run that starts in the second another run's log was named takes the next second's name.
TEST(TraceLogFile, NameInUseTakesTheNextSecondAndTempDirLosesItsBackslash)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    Sleep(1000 - now.wMilliseconds + 20);
    LogCapture log;   // holds this second's name open, as a run still writing would
    std::string taken = ::Run.TraceLogPath;
    HANDLE handle = ::Run.TraceLogHandle;
    ::Run.TraceLogHandle = NULL;
    ASSERT_TRUE(CreateTraceLog());
    std::string fresh = ::Run.TraceLogPath;
    EXPECT_GT(fresh, taken) << "a later time stamp";
    EXPECT_EQ(fresh.rfind(log.Folder() + "\\brindlework_setup_log_", 0), 0u);
    CloseHandle(::Run.TraceLogHandle);
    DeleteFileA(fresh.c_str());
    ::Run.TraceLogHandle = handle;
    ::Run.TraceLogPath = StrDup(taken.c_str());

    char saved[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", saved, MAX_PATH);
    SetEnvironmentVariableA("TMP", (log.Folder() + "\\").c_str());
    EXPECT_TRUE(GetTempDir());
    EXPECT_EQ(std::string(::Run.TempDir), log.Folder());
    SetEnvironmentVariableA("TMP", saved[0] ? saved : NULL);
}

TEST(FinalReport, EveryModePhaseAndOutcome)
{
    struct Case { bool install, finalPhase; RunStatus status; const char *text; UINT flags; };
    const Case cases[] = {
        { true, true, 0, "Installation completed successfully.", MB_ICONINFORMATION },
        { true, true, kStatusWarning, "Installation completed with some warnings.", MB_ICONEXCLAMATION },
        { true, true, kStatusFailed | kStatusWarning, "Installation aborted.", MB_ICONHAND },
        { false, false, 0, "Uninstallation (first phase) completed successfully.", 0 },
        { false, false, kStatusWarning, "Uninstallation (first phase) completed with some warnings.", MB_ICONEXCLAMATION },
        { false, true, kStatusFailed, "Uninstallation aborted.", MB_ICONHAND },
    };
    for (const Case &c : cases) {
        char text[256];
        ComposeReport(text, c.install, c.finalPhase, c.status);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(ReportFlags(c.finalPhase, c.status), c.flags) << c.text;
    }
}

// Runs in a child process only (see the next test): the real hook ends the process.
TEST(AllocFailure, DISABLED_ChildRunsOutOfMemory)
{
    char folder[MAX_PATH];
    ASSERT_NE(GetEnvironmentVariableA("SETUP_ALLOC_CHILD_FOLDER", folder, MAX_PATH), 0u);
    ::Run.TempDir = StrDup(folder);
    ASSERT_TRUE(CreateTraceLog());
    SetAllocFailureHook(ShowAllocFailure);
    MemAlloc((SIZE_T)1 << 62);
    ADD_FAILURE() << "the allocation-failure hook returned";
}

TEST(AllocFailure, HookShowsTheSizeAndExitsWith99)
{
    std::string folder = MakeTestFolder("alloc");
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    std::string commandLine = std::string("\"") + self +
        "\" --gtest_also_run_disabled_tests --gtest_filter=AllocFailure.DISABLED_ChildRunsOutOfMemory";
    SetEnvironmentVariableA("SETUP_ALLOC_CHILD_FOLDER", folder.c_str());
    STARTUPINFOA startup = { sizeof startup };
    PROCESS_INFORMATION process;
    ASSERT_TRUE(CreateProcessA(NULL, &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process));
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    EXPECT_EQ(exitCode, 99u);
    std::vector<std::string> logs = ListFolder(folder + "\\brindlework_setup_log_*.tmp");
    ASSERT_EQ(logs.size(), 1u);
    std::vector<std::string> lines = SplitLines(ReadFileText(folder + "\\" + logs[0]));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().substr(17), "**MessageBox: Cannot allocate 4611686018427387904 bytes, terminating process");
    RemoveTree(folder);
}

}  // namespace
