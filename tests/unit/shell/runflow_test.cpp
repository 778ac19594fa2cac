#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "shell/runflow.h"
#include "shell/run_files.h"
#include "support/runstate.h"
#include "support/tracelog.h"
#include "support/memory.h"

namespace {

TEST(ComposeReport, EveryModePhaseAndOutcome)
{
    struct Case { bool install; bool finalPhase; RunStatus status; const char *text; UINT flags; };
    const Case cases[] = {
        { true, true, 0, "Installation completed successfully.", MB_ICONINFORMATION },
        { true, true, kStatusWarning, "Installation completed with some warnings.", MB_ICONEXCLAMATION },
        { true, true, kStatusFailed, "Installation aborted.", MB_ICONHAND },
        { true, true, kStatusFailed | kStatusWarning, "Installation aborted.", MB_ICONHAND },
        { false, true, 0, "Uninstallation completed successfully.", MB_ICONINFORMATION },
        { false, false, 0, "Uninstallation (first phase) completed successfully.", 0 },
        { false, false, kStatusWarning, "Uninstallation (first phase) completed with some warnings.", MB_ICONEXCLAMATION },
        { false, false, kStatusFailed, "Uninstallation (first phase) aborted.", MB_ICONHAND },
        { false, true, kStatusFailed, "Uninstallation aborted.", MB_ICONHAND },
    };
    for (const Case &c : cases) {
        char text[256];
        ComposeReport(text, c.install, c.finalPhase, c.status);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(ReportFlags(c.finalPhase, c.status), c.flags) << c.text;
    }
}

TEST(RunStatus, MergeHandsBackTheMergedValue)
{
    RunStatus status;
    StatusInit(&status);
    EXPECT_TRUE(StatusIsOk(status));
    StatusSetWarning(&status);
    EXPECT_FALSE(StatusIsOk(status));
    EXPECT_FALSE(StatusIsFailed(status));
    EXPECT_EQ(StatusMerge(&status, kStatusFailed), kStatusFailed | kStatusWarning);
    EXPECT_TRUE(StatusIsFailed(status));
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
    SetEnvironmentVariableA("SETUP_ALLOC_CHILD_FOLDER", NULL);
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    EXPECT_EQ(exitCode, 99u);

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\brindlework_setup_log_*.tmp").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    std::string log = ReadFileText(folder + "\\" + found.cFileName);
    const std::string expected = "**MessageBox: Cannot allocate 4611686018427387904 bytes, terminating process\r\n";
    ASSERT_GE(log.size(), expected.size());
    EXPECT_EQ(log.substr(log.size() - expected.size()), expected);
    RemoveTree(folder);
}

}  // namespace
