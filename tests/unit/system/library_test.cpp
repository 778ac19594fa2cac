#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "system/setupapi_binding.h"
#include "system/library.h"

namespace {

TEST(LibraryLoad, LoadsFromTheSystemFolderAndLogs)
{
    LogCapture log;
    HMODULE module = LibraryLoad("winmm.dll");
    ASSERT_NE(module, nullptr);
    char path[MAX_PATH], system[MAX_PATH];
    GetModuleFileNameA(module, path, MAX_PATH);
    GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, path, -1,
                             (std::string(system) + "\\winmm.dll").c_str(), -1), CSTR_EQUAL) << path;
    EXPECT_TRUE(LibraryUnload("winmm.dll", module));
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(17), "  Loading winmm.dll");
    EXPECT_EQ(lines[1].substr(17), "  Unloading winmm.dll");
}

TEST(LibraryLoad, MissingLibraryIsLoggedAsError)
{
    LogCapture log;
    SetLastError(0);
    EXPECT_EQ(LibraryLoad("no-such-library.dll"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
    std::string line = log.Lines().back();
    EXPECT_EQ(line.rfind("**Cannot load no-such-library.dll (0/126 - ", 17), 17u) << line;
}

TEST(LibraryResolve, NamesTheFirstMissingProcedure)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC first = NULL, second = NULL, third = NULL;
    const ProcedureSlot table[] = {
        { "GetTickCount", &first }, { "NoSuchProcedure", &second }, { "Sleep", &third }, { NULL, NULL },
    };
    const char *missing = NULL;
    EXPECT_FALSE(LibraryResolve(kernel, table, &missing));
    EXPECT_STREQ(missing, "NoSuchProcedure");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PROC_NOT_FOUND);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(third, nullptr) << "resolution stops at the first missing name";
}

TEST(LoadSetupApi, BindsAllTwentyProcedures)
{
    LogCapture log;
    ASSERT_TRUE(LoadSetupApi());
    const FARPROC *slots = (const FARPROC *)&SetupApi.CopyOEMInf;
    for (int i = 0; i < 20; i++)
        EXPECT_NE(slots[i], nullptr) << "procedure " << i + 1;
    EXPECT_EQ((FARPROC)SetupApi.DestroyDeviceInfoList,
              GetProcAddress(SetupApi.module, "SetupDiDestroyDeviceInfoList"));
    EXPECT_EQ(log.BoxCount(), 0);
}

}  // namespace
