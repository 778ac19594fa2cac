// The Plug and Play device's installation through the real setup API of this Wine, with both
// installers. This Wine cannot change a device's state (SetupDiSetClassInstallParamsA refuses,
// DIF_PROPERTYCHANGE fails): a test double takes the place of those two calls in the binding
// table and records the changes asked for, in order.
#include <gtest/gtest.h>
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
                                                   "its driver is not signed). The device stays installed;*", false },
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

}  // namespace
