// The legacy driver's registration against the real Drivers32 keys and a real driver module, and
// the preferred wave devices recorded in the Sound Mapper key.
#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "machine.h"
#include "robot.h"
#include "audio/legacy_driver.h"
#include "audio/preferred_device.h"
#include "support/runstate.h"
#include "system/setupapi_binding.h"

namespace {

const std::string kRoot = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\";
const char *const kKeys[] = { "Drivers32", "Userinstallable.drivers", "drivers.desc", "Drivers32\\Terminal Server\\RDP" };

// Values written before and read after; KEY is a short name of kKeys.
void SetValue(const std::string &key, const std::string &name, const std::string &data)
{
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, (kRoot.substr(5) + key).c_str(), name.c_str(), REG_SZ, data.c_str(), (DWORD)data.size() + 1);
}

std::string Value(const std::string &key, const std::string &name)
{
    return RegistryValue(kRoot + key, name.c_str());
}

class LegacyDriver : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearDriverKeys();
        ::Run.IsNT = true;
        ASSERT_TRUE(LoadSetupApi());
        ASSERT_TRUE(CopyFileA(robot::EnvPath("TEST_DRIVER_DLL").c_str(), "C:\\windows\\system32\\testdrv.dll", FALSE));
    }
    void TearDown() override { ClearDriverKeys(); }
    static void Answer(const char *name, DWORD value)
    {
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, "Software\\BrindleworkTestDriver", name, REG_DWORD, &value, sizeof value);
    }
    LogCapture log_;
};

TEST_F(LegacyDriver, CategoryTexts)
{
    struct Case { const char *text; BYTE set; const char *box; };
    const Case cases[] = {
        { "wave,mixer", kCategoryWave | kCategoryMixer, NULL }, { "WAVE", kCategoryWave, NULL }, { "wave,", kCategoryWave, NULL },
        { ",wave", 0, "Invalid device type \"\"" }, { "midi", 0, "Invalid device type \"midi\"" },
        { "wave, mixer", 0, "Space in the \"wave, mixer\" is not allowed" }, { "", 0, "No device type specified" },
    };
    for (const Case &c : cases) {
        int boxes = log_.BoxCount();
        EXPECT_EQ(ParseMmeCategories(c.text), c.set) << c.text;
        EXPECT_EQ(log_.BoxCount() - boxes, c.box ? 1 : 0) << c.text;
        EXPECT_TRUE(c.box == NULL || log_.LastBoxText() == c.box) << log_.LastBoxText();
    }
}

std::string Full(int wdmaud1, int wdmaud2 = 0, int wdmaud3 = 0)
{
    std::string values;
    for (int n = 1; n <= 9; n++)
        values += "wave" + std::to_string(n) + "=" + (n == wdmaud1 || n == wdmaud2 || n == wdmaud3 ? "WDMAUD.DRV" : "other.drv") + ";";
    return values;
}

TEST_F(LegacyDriver, TheFirstFreeEntryOrTheHighestDuplicateOfWdmaud)
{
    struct Case { std::string values; const char *entry; };
    const Case cases[] = {
        { "wave1=a.drv;wave2=b.drv;", "wave3" }, { "wave1=a.drv;wave2=b.drv;wave3=c.drv;wave4=;", "wave4" },
        { "wave=unnumbered.drv;wave1=a.drv;", "wave2" },   // the unnumbered name is neither used nor counted
        { Full(2, 6), "wave6" }, { Full(2, 5, 8), "wave8" }, { Full(4), NULL },
    };
    for (const Case &c : cases) {
        ClearDriverKeys();
        for (size_t at = 0; at < c.values.size();) {
            size_t equals = c.values.find('=', at), end = c.values.find(';', at);
            SetValue(kKeys[0], c.values.substr(at, equals - at), c.values.substr(equals + 1, end - equals - 1));
            at = end + 1;
        }
        DriverKeySet set;
        DriverKeySetInit(&set);
        char entry[MAX_PATH] = "";
        EXPECT_EQ(FindFreeDriverEntry(&set.keys[kDrivers32], "wave", entry), c.entry != NULL) << c.values;
        EXPECT_TRUE(c.entry == NULL || std::string(entry) == c.entry) << c.values << ": " << entry;
        DriverKeySetRelease(&set);
    }
    EXPECT_NE(log_.Text().find("Found duplicate wdmaud.drv entry wave8 in Drivers32"), std::string::npos);
}

// Installed and removed end to end; here the terminal-server key, which only gets an entry
// when it exists.
TEST_F(LegacyDriver, TheRdpKeyGetsItsOwnEntryOnlyWhenItExists)
{
    SetValue(kKeys[0], "wave1", "taken.drv");
    SetValue(kKeys[3], "mixer1", "taken.drv");
    ASSERT_TRUE(RegisterDriverModule("Demo Device", "testdrv.dll", "wave,mixer"));
    EXPECT_EQ(Value(kKeys[0], "wave2") + Value(kKeys[3], "wave1") + Value(kKeys[3], "mixer2"), "testdrv.dlltestdrv.dlltestdrv.dll");
    EXPECT_EQ(RemoveLegacyAudioDriver("TESTDRV.DLL"), 0u) << "found without regard to case";
    EXPECT_EQ(Value(kKeys[0], "wave2") + Value(kKeys[3], "wave1") + Value(kKeys[3], "mixer2") + Value(kKeys[2], "testdrv.dll"), "");
    EXPECT_EQ(Value(kKeys[3], "mixer1"), "taken.drv");
    EXPECT_EQ(log_.BoxCount(), 0);
}

// A system that lacks Userinstallable.drivers (a fresh Wine, a trimmed Windows image) gets the
// key as Windows would have it; it is the system's, and stays.
TEST_F(LegacyDriver, AMissingUserInstallableKeyIsMadeAndStays)
{
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kRoot.substr(5) + kKeys[1]).c_str()), ERROR_SUCCESS);
    ASSERT_FALSE(RegistryKeyExists(kRoot + kKeys[1]));
    ASSERT_TRUE(RegisterDriverModule("Demo Device", "testdrv.dll", "wave")) << log_.LastBoxText();
    EXPECT_EQ(Value(kKeys[1], "wave1"), "testdrv.dll");
    EXPECT_EQ(RemoveLegacyAudioDriver("testdrv.dll"), 0u);
    EXPECT_TRUE(RegistryKeyExists(kRoot + kKeys[1]));
    EXPECT_EQ(Value(kKeys[1], "wave1"), "");
    EXPECT_EQ(log_.BoxCount(), 0) << log_.LastBoxText();
}

TEST_F(LegacyDriver, EveryValueWrittenIsTakenBackWhenARegistrationFails)
{
    struct Case { const char *name; DWORD answer; bool fullSecondKey; const char *box; };
    const Case cases[] = {
        { "a module answering 2", 2, false, "Driver failed processing message 0x9 (code 0x2)" },
        { "no free entry in the second key", 1, true, "Cannot find free wave entry in Userinstallable.drivers Maybe there "
          "are too many wave devices in your system. Windows supports only 10 different legacy audio drivers. If you have many "
          "audio devices installed, try to uninstall some." },   // the log shows a box's line breaks as blanks
    };
    for (const Case &c : cases) {
        ClearDriverKeys();
        Answer("InstallAnswer", c.answer);
        for (int n = 1; c.fullSecondKey && n <= 9; n++)
            SetValue(kKeys[1], "wave" + std::to_string(n), n == 3 ? "wdmaud.drv" : "other.drv");
        EXPECT_FALSE(RegisterDriverModule("Demo Device", "testdrv.dll", "wave,mixer")) << c.name;
        EXPECT_EQ(log_.LastBoxText(), c.box) << c.name;
        EXPECT_EQ(Value(kKeys[0], "wave1") + "|" + Value(kKeys[0], "mixer1") + "|" + Value(kKeys[1], "mixer1") + "|" +
                  Value(kKeys[2], "testdrv.dll"), "|||") << c.name;
    }
    EXPECT_EQ(RemoveLegacyAudioDriver("testdrv.dll"), kStatusWarning);
    EXPECT_EQ(log_.LastBoxText(), "Device module \"testdrv.dll\" not found");
    EXPECT_EQ(RegistryValue("HKLM\\Software\\BrindleworkTestDriver", "Received"), "") << "no DRV_REMOVE for a module not found";
}

// The end-to-end tests see the devices recorded, and the run without any device: here a choice
// the user made before is kept, and a value that cannot be read is passed over.
TEST(PreferredDevice, NeverOverwrittenAndBestEffort)
{
    LogCapture log;
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Multimedia\\Sound Mapper");
    EXPECT_TRUE(StoreSoundMapperDevice(kWaveOut, "Speakers"));
    EXPECT_FALSE(StoreSoundMapperDevice(kWaveOut, "Headphones"));
    EXPECT_EQ(RegistryValue("HKCU\\Software\\Microsoft\\Multimedia\\Sound Mapper", "Playback"), "Speakers");
    std::string longName(200, 'r');
    RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Microsoft\\Multimedia\\Sound Mapper", "Record", REG_SZ, longName.c_str(), 201);
    EXPECT_FALSE(StoreSoundMapperDevice(kWaveIn, "Microphone"));
    EXPECT_TRUE(Matches("*Value \"Record\" returns unexpected error (0/234 - *", log.Lines().back())) << log.Lines().back();
    EXPECT_EQ(log.BoxCount(), 0);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Multimedia\\Sound Mapper");
}

}  // namespace
