// The Plug and Play device's installation through the real setup API of this Wine, with both
// installers. This Wine cannot change a device's state (SetupDiSetClassInstallParamsA refuses,
// DIF_PROPERTYCHANGE fails): a test double takes the place of those two calls in the binding
// table and records the changes asked for, in order.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "../common/log_capture.h"
#include "machine.h"
#include "robot.h"
#include "audio/pnp_device.h"
#include "script/setup_script.h"
#include "script/variables.h"
#include "support/memory.h"
#include "support/runstate.h"
#include "system/journal_recorder.h"
#include "uninstall/journal_replay.h"
#include "system/services.h"
#include "system/setupapi_binding.h"

namespace {

SP_PROPCHANGE_PARAMS requestedChange;
decltype(SetupApi.CallClassInstaller) realCallClassInstaller;
std::vector<std::string> stateChanges;

// What Windows says of the device after it was enabled: started, or a problem code.
ULONG reportedProblem;
CONFIGRET WINAPI GetDevNodeStatusDouble(PULONG state, PULONG problem, DEVINST, ULONG)
{
    *state = DN_STARTED | (reportedProblem != 0 ? DN_HAS_PROBLEM : 0);
    *problem = reportedProblem;
    return CR_SUCCESS;
}

// Removals in the order they are asked for: the device (the real removal follows), and the driver
// package, which this Wine keeps no store for, with the answer the case chooses.
std::vector<std::string> removals;
DWORD packageError;
decltype(SetupApi.RemoveDevice) realRemoveDevice;

BOOL WINAPI RemoveDeviceDouble(HDEVINFO list, PSP_DEVINFO_DATA element)
{
    removals.push_back("device");
    return realRemoveDevice(list, element);
}

BOOL WINAPI UninstallOEMInfDouble(PCSTR name, DWORD flags, PVOID)
{
    removals.push_back(std::string("package ") + name + (flags != 0 ? " forced" : ""));
    SetLastError(packageError);
    return packageError == ERROR_SUCCESS;
}

BOOL WINAPI SetClassInstallParamsDouble(HDEVINFO, PSP_DEVINFO_DATA, PSP_CLASSINSTALL_HEADER header, DWORD size)
{
    memcpy(&requestedChange, header, size < sizeof requestedChange ? size : sizeof requestedChange);
    return TRUE;
}

BOOL WINAPI CallClassInstallerDouble(DI_FUNCTION function, HDEVINFO list, PSP_DEVINFO_DATA element)
{
    if (function != DIF_PROPERTYCHANGE)
        return realCallClassInstaller(function, list, element);
    stateChanges.push_back(requestedChange.StateChange == DICS_ENABLE ? "enable" : "disable");
    return TRUE;
}

class PnpDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(LoadSetupApi());
        realCallClassInstaller = SetupApi.CallClassInstaller;
        realRemoveDevice = SetupApi.RemoveDevice;
        SetupApi.RemoveDevice = RemoveDeviceDouble;
        SetupApi.UninstallOEMInf = UninstallOEMInfDouble;
        SetupApi.SetClassInstallParams = SetClassInstallParamsDouble;
        SetupApi.CallClassInstaller = CallClassInstallerDouble;
        SetupApi.GetDevNodeStatus = GetDevNodeStatusDouble;
        reportedProblem = 0;
        stateChanges.clear();
        JournalClear();
        ::Run.IsNT = true;
        ::Run.SourceDir = StrDup(log_.Folder().c_str());
        SystemFolders.WindowsDir = StrDup("C:\\windows");
        Script.DeviceName = StrDup("Setup Test Audio Device");
        Script.DeviceHardwareId = StrDup("ROOT\\SETUPTESTAUDIO");
        Script.WdmDriverInfFile = StrDup("test_audio.inf");
        ASSERT_TRUE(CopyFileA(robot::EnvPath("TEST_AUDIO_INF").c_str(), (log_.Folder() + "\\test_audio.inf").c_str(), FALSE));
        ASSERT_TRUE(CopyFileA(robot::EnvPath("TEST_AUDIO_SYS").c_str(), "C:\\windows\\system32\\drivers\\setuptestaudio.sys", FALSE));
    }
    void TearDown() override
    {
        RemoveDevices("ROOT\\SETUPTESTAUDIO");
        ServiceStopAndDelete("SetupTestAudio");
        SetupApi.CallClassInstaller = realCallClassInstaller;
        SetupApi.RemoveDevice = realRemoveDevice;
        DeleteFileA("C:\\sysaudio-standin");
        DeleteFileA("C:\\windows\\system32\\drivers\\portcls.sys");
        JournalClear();
    }
    LogCapture log_;
};

TEST_F(PnpDevice, StandardInstallerOnNt6LeavesTheDeviceToTheSystemThenEnablesIt)
{
    ::Run.OsVersion.dwMajorVersion = 6;
    ASSERT_FALSE(UsesOwnInstaller());
    ASSERT_EQ(InstallWdmDevice(), 0u) << log_.LastBoxText();
    EXPECT_EQ(stateChanges, (std::vector<std::string>{ "disable", "enable" }));
    std::string journal = JournalText();
    EXPECT_TRUE(Matches("InstallDevice \"ROOT\\MEDIA\\*\"\r\nCreateFile \"C:\\windows\\inf\\*.inf\"\r\n"
                        "CreateFile \"C:\\windows\\inf\\*.pnf\"\r\nInstallService \"SetupTestAudio\"\r\n", journal)) << journal;
    EXPECT_NE(log_.Text().find("Calling UpdateDriverForPlugAndPlayDevicesA (\"ROOT\\SETUPTESTAUDIO\", \""), std::string::npos);
    EXPECT_FALSE(::Run.RestartNeeded);
}

// A device Windows could not start stays installed, and the run ends with warnings that name its
// problem code; the code that asks for a restart asks for a restart.
TEST_F(PnpDevice, ADeviceWindowsCannotStartGivesWarningsWithItsProblemCode)
{
    ::Run.OsVersion.dwMajorVersion = 6;
    struct Case { ULONG problem; RunStatus status; const char *box; bool restart; };
    const Case cases[] = {
        { CM_PROB_UNSIGNED_DRIVER, kStatusWarning, "Windows cannot start the device \"Setup Test Audio Device\" (problem code 52: "
                                                   "its driver is not signed as this Windows requires.*Microsoft*). The device "
                                                   "stays installed;*", false },
        { CM_PROB_DRIVER_FAILED_LOAD, kStatusWarning, "*(problem code 39: *memory integrity*)*", false },
        { CM_PROB_DEVICE_NOT_THERE, kStatusWarning, "*(problem code 24: Device Manager tells more)*", false },
        { CM_PROB_NEED_RESTART, 0, NULL, true },
    };
    for (const Case &c : cases) {
        JournalClear();
        ::Run.RestartNeeded = false;
        reportedProblem = c.problem;
        int boxes = log_.BoxCount();
        EXPECT_EQ(InstallWdmDevice(), c.status) << c.problem;
        EXPECT_EQ(log_.BoxCount() - boxes, c.box != NULL ? 1 : 0) << c.problem;
        EXPECT_TRUE(c.box == NULL || Matches(c.box, log_.LastBoxText())) << log_.LastBoxText();
        EXPECT_EQ(::Run.RestartNeeded, c.restart) << c.problem;
        EXPECT_EQ(PresentDevices("ROOT\\SETUPTESTAUDIO").size(), 1u) << "the device stays";
        RemoveDevices("ROOT\\SETUPTESTAUDIO");
        ServiceStopAndDelete("SetupTestAudio");
    }
}

// On NT 5 with kernel streaming the program installs the driver itself from a copy of the INF;
// without kernel streaming it leaves the driver to the system.
TEST_F(PnpDevice, OwnInstallerCopiesTheInfAndInstallsDisabledThenEnables)
{
    ::Run.OsVersion.dwMajorVersion = 5;
    EXPECT_FALSE(UsesOwnInstaller()) << "no \\\\.\\sysaudio in this Wine";
    // The harness's kernel-streaming stand-in: \\.\sysaudio opens while its file exists, and the
    // port class driver's file.
    ASSERT_TRUE(WriteTextFile("C:\\sysaudio-standin", ""));
    ASSERT_TRUE(WriteTextFile("C:\\windows\\system32\\drivers\\portcls.sys", ""));
    ASSERT_TRUE(UsesOwnInstaller());
    ASSERT_EQ(InstallWdmDevice(), 0u) << log_.LastBoxText();
    EXPECT_EQ(stateChanges, (std::vector<std::string>{ "enable" }));
    std::string journal = JournalText();
    EXPECT_TRUE(Matches("CreateFile \"C:\\windows\\inf\\*-*-*-*-*.inf\"\r\nCreateFile \"C:\\windows\\inf\\*-*-*-*-*.pnf\"\r\n"
                        "InstallDevice \"ROOT\\MEDIA\\*\"\r\nInstallService \"SetupTestAudio\"\r\n", journal)) << journal;
    std::string copied = journal.substr(12, journal.find(".inf") - 8);
    EXPECT_EQ(ReadFileText(copied), ReadFileText(log_.Folder() + "\\test_audio.inf")) << copied;
    DeleteFileA(copied.c_str());
}

// The rollback replays both phases in one process, the uninstallation in its two: either way the
// driver package goes after its device, by the INF name the journal holds, without force; one
// that another device still uses stays with a log line and no box.
TEST_F(PnpDevice, ThePackageGoesAfterItsDeviceTheWindowsWay)
{
    ::Run.OsVersion.dwMajorVersion = 6;
    struct Case { const char *way; DWORD packageError; const char *logged; };
    const Case cases[] = {
        { "rollback", ERROR_SUCCESS, "*Removed driver package \"*.inf\"" },
        { "uninstallation", ERROR_SUCCESS, "*Removed driver package \"*.inf\"" },
        { "rollback", ERROR_INF_IN_USE_BY_DEVICES, "*Driver package \"*.inf\" stays: another device uses it" },
    };
    for (const Case &c : cases) {
        JournalClear();
        ASSERT_EQ(InstallWdmDevice(), 0u) << log_.LastBoxText();
        std::string journal = JournalText();
        size_t start = journal.find("\\inf\\") + 5;
        std::string inf = journal.substr(start, journal.find(".inf\"") + 4 - start);
        removals.clear();
        packageError = c.packageError;
        int boxes = log_.BoxCount();
        if (std::string(c.way) == "rollback") {
            EXPECT_EQ(ReplayInPhases(&journal[0], false), 0u);
        } else {
            std::string second = journal;   // as the two uninstaller processes, one after the other
            EXPECT_EQ(ReplayJournal(&journal[0], PhaseMask(kPrimaryPhase)), 0u);
            EXPECT_EQ(ReplayJournal(&second[0], PhaseMask(kSecondaryPhase)), 0u);
        }
        EXPECT_EQ(removals, (std::vector<std::string>{ "device", "package " + inf })) << c.way;
        EXPECT_EQ(log_.BoxCount(), boxes) << log_.LastBoxText();
        std::vector<std::string> lines = log_.Lines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string &l) { return Matches(c.logged, l); })) << c.way;
        DeleteFileA(("C:\\windows\\inf\\" + inf).c_str());
    }
}

// A system whose setup library lacks CM_Get_DevNode_Status installs the device all the same,
// without looking at its status.
TEST_F(PnpDevice, WithoutTheStatusProcedureTheStatusIsNotChecked)
{
    ::Run.OsVersion.dwMajorVersion = 6;
    HMODULE setupapi = SetupApi.module;
    SetupApi.module = GetModuleHandleA("kernel32.dll");   // a library without it
    SetupApi.GetDevNodeStatus = NULL;
    reportedProblem = CM_PROB_UNSIGNED_DRIVER;
    EXPECT_EQ(InstallWdmDevice(), 0u) << log_.LastBoxText();
    SetupApi.module = setupapi;
    EXPECT_NE(log_.Text().find("Cannot get addr of CM_Get_DevNode_Status"), std::string::npos);
    EXPECT_NE(log_.Text().find("The device's status is not checked"), std::string::npos);
    EXPECT_EQ(log_.BoxCount(), 0) << log_.LastBoxText();
}

}  // namespace
