// The spine: the command line's roles, the trace log's name when another run holds that second's,
// and the exit code and last log line of a run that runs out of memory.
#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "robot.h"
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
    bool installMode, fromCurrentDir, silent;
    DWORD pid;
    const char *installDir;
};

const std::string kLongFolder(300, 'f');
const std::string kLongSwitch = "-u -p 1 -d \"" + kLongFolder + "\"";
const std::string kLongBox = "Error in command line: \"\"" + kLongFolder + "\"\"";

const ParseCase kParseCases[] = {
    { "", NULL, true, false, false, 0, NULL },
    { "-c", NULL, true, true, false, 0, NULL },
    { "-u", NULL, false, false, false, 0, NULL },
    { "-d \"C:\\Program Files\\x\" -p 4d2 -u", NULL, false, false, false, 0x4D2, "C:\\Program Files\\x" },
    { "-u -p1 -dC:\\x", NULL, false, false, false, 1, "C:\\x" },
    { "-u -d \"C:\\a\" -p 1 -d \"C:\\b\"", NULL, false, false, false, 1, "C:\\b" },   // the last -d wins
    { "-u -p 1 -p", NULL, false, false, false, 0, NULL },                            // ... and the last -p
    { "-u -p 5 -d \"\"", "Command line switches mismatch", false, false, false, 5, NULL },
    { "-u -p 5 -d", "Command line switches mismatch", false, false, false, 5, NULL },
    { "-d C:\\x", "Command line switches mismatch", true, false, false, 0, NULL },
    { "-U", "Invalid command line switch \"U\"", true, false, false, 0, NULL },
    { "-cu", "Error in command line: \"u\"", true, true, false, 0, NULL },
    { "-u -p 1 -d \"C:\\x", "Error in command line: \"\"C:\\x\"", false, false, false, 1, NULL },
    { kLongSwitch.c_str(), kLongBox.c_str(), false, false, false, 1, NULL },
    { "-s", NULL, true, false, true, 0, NULL },
    { "-s -d \"C:\\Other Folder\"", NULL, true, false, true, 0, "C:\\Other Folder" },   // silent, -d names the folder
    { "-u -s", NULL, false, false, true, 0, NULL },
    { "-u -p 1 -d \"C:\\x\" -s", NULL, false, false, true, 1, "C:\\x" },
    { "-d \"C:\\x\" -S", "Invalid command line switch \"S\"", true, false, false, 0, NULL },
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
        EXPECT_EQ(::Run.Silent, c.silent);
        EXPECT_EQ(::Run.PrimaryPid, c.pid);
        EXPECT_EQ(std::string(::Run.InstallDir ? ::Run.InstallDir : "(none)"), c.installDir ? c.installDir : "(none)");
    }
}

// Looked for before anything can show a box: a folder that -d names is no switch; a broken line
// stays silent if it says so anywhere.
TEST(HasSilentSwitch, OnlyAsATokenOfItsOwn)
{
    const struct {
        const char *tail;
        bool silent;
    } cases[] = {
        { "-s", true }, { "-u  -s", true }, { "-d \"C:\\x\" -s", true }, { "", false }, { "-S", false },
        { "-u -p 1 -d \"-s\"", false }, { "-u -p 1 -d -s", false }, { "-sd \"C:\\x\"", false }, { "-u \"-s", false },
        // a line that cannot be taken apart is searched as it stands
        { "-d \"C:\\x -s", true }, { "-d \"C:\\x\" \"-s", false }, { "-d \"C:\\x -s\"y -s", true },
    };
    for (const auto &c : cases)
        EXPECT_EQ(HasSilentSwitch(c.tail), c.silent) << c.tail;
}

// The plain names of this second and the next two, as a run would make them.
std::vector<std::string> PlainLogNames(const std::string &folder)
{
    SYSTEMTIME now;
    FILETIME time;
    GetLocalTime(&now);
    SystemTimeToFileTime(&now, &time);
    std::vector<std::string> names;
    for (int second = 0; second < 3; second++) {
        ULARGE_INTEGER ticks = { { time.dwLowDateTime, time.dwHighDateTime } };
        ticks.QuadPart += second * 10000000ULL;
        FILETIME later = { ticks.LowPart, ticks.HighPart };
        SYSTEMTIME at;
        FileTimeToSystemTime(&later, &at);
        char name[MAX_PATH];
        wsprintfA(name, "%s\\brindlework_setup_log_%04u%02u%02u_%02u%02u%02u.tmp", folder.c_str(), at.wYear,
                  at.wMonth, at.wDay, at.wHour, at.wMinute, at.wSecond);
        names.push_back(name);
    }
    return names;
}

// A run that starts in the second of another's log, still open or kept, gets a name of its own at
// once and leaves the other's alone.
TEST(CreateTraceLog, TakesTheProcessIdRatherThanWaiting)
{
    char pid[16];
    wsprintfA(pid, "*_%u.tmp", (UINT)GetCurrentProcessId());
    for (bool open : { true, false }) {
        SCOPED_TRACE(open ? "open" : "kept");
        std::string folder = MakeTestFolder("lognames");
        ::Run.TempDir = StrDup(folder.c_str());
        std::vector<HANDLE> others;
        for (const std::string &name : PlainLogNames(folder)) {
            HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_NEW, 0, NULL);
            DWORD written;
            WriteFile(file, "another run", 11, &written, NULL);
            if (open)
                others.push_back(file);
            else
                CloseHandle(file);
        }
        DWORD start = GetTickCount();
        ASSERT_TRUE(CreateTraceLog());
        EXPECT_LT(GetTickCount() - start, 500u);
        EXPECT_TRUE(Matches(pid, ::Run.TraceLogPath)) << ::Run.TraceLogPath;
        CloseHandle(::Run.TraceLogHandle);
        ::Run.TraceLogHandle = NULL;
        for (HANDLE file : others)
            CloseHandle(file);
        for (const std::string &name : PlainLogNames(folder)) {
            if (GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES) {
                EXPECT_EQ(ReadFileText(name), "another run") << name;
            }
        }
        RemoveTree(folder);
        ::Run = RunState();
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
    SetEnvironmentVariableA("SETUP_ALLOC_CHILD_FOLDER", folder.c_str());
    robot::Session child;
    DWORD exitCode = 0;
    ASSERT_TRUE(child.Start(self, "--gtest_also_run_disabled_tests --gtest_filter=AllocFailure.DISABLED_ChildRunsOutOfMemory", folder));
    ASSERT_TRUE(child.WaitExit(60000, &exitCode)) << child.LastError();
    EXPECT_EQ(exitCode, 99u);
    std::vector<std::string> logs = ListFolder(folder + "\\brindlework_setup_log_*.tmp");
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_TRUE(Matches("*MessageBox: Cannot allocate 4611686018427387904 bytes, terminating process\r\n",
                        ReadFileText(folder + "\\" + logs[0])));
    RemoveTree(folder);
}

}  // namespace
