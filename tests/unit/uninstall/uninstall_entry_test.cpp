#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "script/setup_script.h"
#include "support/runstate.h"
#include "support/memory.h"
#include "system/journal_recorder.h"
#include "uninstall/uninstall_entry.h"

namespace {

const char kParent[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

class UninstallEntry : public ::testing::Test {
protected:
    void SetUp() override
    {
        JournalForgetSince(0);
        Script.AppName = StrDup("Example");
        Script.AppVersion = StrDup("1.0");
        ::Run.InstallDir = StrDup("C:\\Program Files\\Example");
        ::Run.ExeModuleName = StrDup("setup.exe");
    }
    void TearDown() override
    {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kParent) + "\\Example 1.0").c_str());
        JournalForgetSince(0);
    }
    static std::string Value(const char *name)
    {
        HKEY key;
        std::string text;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kParent) + "\\Example 1.0").c_str(), 0, KEY_READ, &key))
            return "(no key)";
        BYTE data[512];
        DWORD size = sizeof data, type = 0;
        if (RegQueryValueExA(key, name, NULL, &type, data, &size) == ERROR_SUCCESS)
            text = type == REG_DWORD ? "dword:" + std::to_string(*(DWORD *)data) : std::string((char *)data, size);
        RegCloseKey(key);
        return text;
    }
    static std::string Recorded() { return JournalText() != NULL ? JournalText() : ""; }
    LogCapture log_;
};

TEST_F(UninstallEntry, KeyValuesAndRecord)
{
    HKEY stale;   // an entry of the same name is taken over
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, (std::string(kParent) + "\\Example 1.0").c_str(), &stale), ERROR_SUCCESS);
    RegSetValueExA(stale, "DisplayIcon", 0, REG_SZ, (const BYTE *)"old", 4);
    RegCloseKey(stale);
    ASSERT_TRUE(RegisterUninstallEntry());
    EXPECT_EQ(Value("DisplayName"), std::string("Example 1.0", 12));   // the terminator is stored
    EXPECT_EQ(Value("DisplayIcon"), std::string("C:\\Program Files\\Example\\setup.exe", 35));
    EXPECT_EQ(Value("UninstallString"), std::string("C:\\Program Files\\Example\\setup.exe -u", 38));
    EXPECT_EQ(Value("NoModify"), "dword:1");
    EXPECT_EQ(Recorded(), "CreateKey \"HKLM\\" + std::string(kParent) + "\\Example 1.0\"\r\n");
    std::vector<std::string> lines = log_.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(19), "Created key \"Example 1.0\"");
    EXPECT_EQ(lines[3].substr(19), "Value \"Example 1.0\\UninstallString\" set to \"C:\\Program Files\\Example\\setup.exe -u\"");
}

TEST_F(UninstallEntry, NamesTheRegistryOrTheJournalCannotTakeAreRefusedBeforeAnyChange)
{
    struct Case { std::string version; DWORD error; };
    const Case cases[] = {
        { "1.0\\beta", ERROR_INVALID_NAME },            // would make a nested key
        { "2.0 \"LTS\"", ERROR_INVALID_NAME },          // the journal could not give it back
        { std::string(300, '9'), ERROR_FILENAME_EXCED_RANGE },
    };
    for (const Case &c : cases) {
        Script.AppVersion = StrDup(c.version.c_str());
        EXPECT_FALSE(RegisterUninstallEntry()) << c.version;
        EXPECT_EQ(GetLastError(), c.error) << c.version;
        EXPECT_EQ(log_.LastBoxText().rfind("Cannot register the uninstaller of \"Example\" (0/", 0), 0u);
        EXPECT_EQ(Recorded(), "");
        HKEY parent;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kParent, 0, KEY_READ, &parent), ERROR_SUCCESS);
        char name[MAX_PATH];
        bool found = false;
        for (DWORD i = 0; RegEnumKeyA(parent, i, name, MAX_PATH) == ERROR_SUCCESS; i++)
            found |= std::string(name).rfind("Example", 0) == 0;
        RegCloseKey(parent);
        EXPECT_FALSE(found) << c.version;
    }
}

}  // namespace
