#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "support/memory.h"
#include "system/registry.h"

namespace {

// Keys the tests own, under both roots; removed afterwards.
const char kOwnKey[] = "Software\\BrindleworkSetupTests";

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, kOwnKey);
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kOwnKey, &own_), ERROR_SUCCESS);
    }
    void TearDown() override
    {
        RegCloseKey(own_);
        RegDeleteTreeA(HKEY_CURRENT_USER, kOwnKey);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kOwnKey);
    }
    void SetRaw(const char *name, DWORD type, const void *data, DWORD size)
    {
        ASSERT_EQ(RegSetValueExA(own_, name, 0, type, (const BYTE *)data, size), ERROR_SUCCESS);
    }
    bool OpenOwn(RegKey *key)
    {
        RegKeyInit(key);
        return RegKeyOpen(key, HKEY_CURRENT_USER, kOwnKey, true, true);
    }
    LogCapture log_;
    HKEY own_ = NULL;
};

TEST_F(Registry, OpenMissingKeyIsSilentOnlyWhenAsked)
{
    RegKey key;
    RegKeyInit(&key);
    std::string missing = std::string(kOwnKey) + "\\missing";
    EXPECT_FALSE(RegKeyOpen(&key, HKEY_CURRENT_USER, missing.c_str(), false, false));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.handle, nullptr);
    EXPECT_EQ(key.path, nullptr);
    EXPECT_EQ(log_.BoxCount(), 0);

    EXPECT_FALSE(RegKeyOpen(&key, HKEY_CURRENT_USER, missing.c_str(), false, true));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(log_.LastBoxText().rfind("Cannot open registry key \"" + missing + "\" (0/2 - ", 0), 0u)
        << log_.LastBoxText();
    RegKeyRelease(&key);   // nothing held: nothing to do
}

TEST_F(Registry, CreateLogsEvenAnExistingKeyAndSetStringStoresTheTerminator)
{
    RegKey key;
    RegKeyInit(&key);
    std::string path = std::string(kOwnKey) + "\\Created";
    ASSERT_TRUE(RegKeyCreate(&key, HKEY_CURRENT_USER, path.c_str()));
    RegKeyRelease(&key);
    ASSERT_TRUE(RegKeyCreate(&key, HKEY_CURRENT_USER, path.c_str()));
    EXPECT_STREQ(key.path, path.c_str());
    ASSERT_TRUE(RegKeySetString(&key, "DisplayName", "Demo"));
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExA(RegKeyHandle(&key), "DisplayName", NULL, &type, NULL, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, (DWORD)REG_SZ);
    EXPECT_EQ(size, 5u);
    RegKeyRelease(&key);
    EXPECT_EQ(key.handle, nullptr);
    EXPECT_EQ(key.path, nullptr);

    std::vector<std::string> lines = log_.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(19), "Created key \"" + path + "\"");
    EXPECT_EQ(lines[1].substr(19), "Created key \"" + path + "\"");
    EXPECT_EQ(lines[2].substr(19), "Value \"" + path + "\\DisplayName\" set to \"Demo\"");
}

TEST_F(Registry, QueryExpandsOnlyExpandableStrings)
{
    const char text[] = "%SystemRoot%\\Media";
    SetRaw("expand", REG_EXPAND_SZ, text, sizeof text);
    SetRaw("plain", REG_SZ, text, sizeof text);
    char expected[MAX_PATH];
    ExpandEnvironmentStringsA(text, expected, MAX_PATH);
    ASSERT_STRNE(expected, text);

    RegKey key;
    ASSERT_TRUE(OpenOwn(&key));
    char value[MAX_PATH];
    ASSERT_TRUE(RegKeyQueryString(&key, "expand", value, true));
    EXPECT_STREQ(value, expected);
    ASSERT_TRUE(RegKeyQueryString(&key, "plain", value, true));
    EXPECT_STREQ(value, text);
    EXPECT_EQ(log_.Lines().back().substr(19), std::string("Value \"") + kOwnKey + "\\plain\"=\"" + text + "\"");
    RegKeyRelease(&key);
}

TEST_F(Registry, QueryFailures)
{
    std::string longText(300, 'v');
    SetRaw("long", REG_SZ, longText.c_str(), (DWORD)longText.size() + 1);
    RegKey key;
    ASSERT_TRUE(OpenOwn(&key));
    char value[MAX_PATH];
    EXPECT_FALSE(RegKeyQueryString(&key, "missing", value, false));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(log_.BoxCount(), 0);

    EXPECT_FALSE(RegKeyQueryString(&key, "missing", value, true));
    EXPECT_EQ(log_.BoxCount(), 1);

    EXPECT_FALSE(RegKeyQueryString(&key, "long", value, false));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MORE_DATA);
    char moreData[256];
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                   NULL, ERROR_MORE_DATA, 0, moreData, sizeof moreData, NULL);
    std::string expected = std::string("Cannot query registry value \"") + kOwnKey + "\\long\" (0/234 - " + moreData;
    while (expected.back() == ' ')
        expected.pop_back();
    EXPECT_EQ(log_.LastBoxText(), expected + ")");
    RegKeyRelease(&key);
}

TEST_F(Registry, DataWithoutTerminatorStaysInTheBuffer)
{
    std::string raw(MAX_PATH, 'x');
    SetRaw("unterminated", REG_BINARY, raw.data(), MAX_PATH);
    SetRaw("short", REG_SZ, "abc", 3);
    RegKey key;
    ASSERT_TRUE(OpenOwn(&key));
    char value[MAX_PATH + 8];
    memset(value, '#', sizeof value);
    ASSERT_TRUE(RegKeyQueryString(&key, "unterminated", value, true));
    EXPECT_EQ(std::string(value), std::string(MAX_PATH - 1, 'x'));
    for (size_t i = MAX_PATH; i < sizeof value; i++)
        EXPECT_EQ(value[i], '#');
    ASSERT_TRUE(RegKeyQueryString(&key, "short", value, true));
    EXPECT_STREQ(value, "abc");
    RegKeyRelease(&key);
}

TEST_F(Registry, EnumerationGivesStringNamesAndEndsSilently)
{
    DWORD number = 7;
    SetRaw("text", REG_SZ, "wave", 5);
    SetRaw("number", REG_DWORD, &number, sizeof number);
    RegKey key;
    ASSERT_TRUE(OpenOwn(&key));
    char name[MAX_PATH], data[MAX_PATH];
    std::vector<std::string> names;
    DWORD index = 0;
    while (RegKeyEnumValue(&key, index, name, data))
        names.push_back(name), index++;
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_ITEMS);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_NE(std::find(names.begin(), names.end(), "text"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), ""), names.end()) << "the REG_DWORD comes back nameless";
    EXPECT_EQ(log_.BoxCount(), 0);
    RegKeyRelease(&key);
}

TEST_F(Registry, DeleteValue)
{
    SetRaw("gone", REG_SZ, "x", 2);
    RegKey key;
    ASSERT_TRUE(OpenOwn(&key));
    EXPECT_TRUE(RegKeyDeleteValue(&key, "gone"));
    EXPECT_EQ(log_.Lines().back().substr(19), std::string("Deleted value \"") + kOwnKey + "\\gone\"");
    EXPECT_FALSE(RegKeyDeleteValue(&key, "gone"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(log_.LastBoxText().rfind(std::string("Cannot delete registry value \"") + kOwnKey + "\\gone\" (0/2 - ", 0), 0u);
    RegKeyRelease(&key);
}

TEST_F(Registry, DeleteKeyPathByRootPrefix)
{
    HKEY machine;
    std::string subkey = std::string(kOwnKey) + "\\Entry";
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, subkey.c_str(), &machine), ERROR_SUCCESS);
    RegCloseKey(machine);

    std::string lower = "hklm\\" + subkey;
    EXPECT_TRUE(RegDeleteKeyPath(lower.c_str()));
    EXPECT_EQ(log_.Lines().back().substr(19), "Deleted key \"" + lower + "\"");
    EXPECT_NE(RegOpenKeyA(HKEY_LOCAL_MACHINE, subkey.c_str(), &machine), ERROR_SUCCESS);

    struct Case { std::string path; DWORD error; };
    const Case cases[] = {
        { "HKCR\\" + subkey, ERROR_FILE_NOT_FOUND },    // not a root we know: never sent
        { "HKLM" + subkey, ERROR_FILE_NOT_FOUND },
        { "HKCU\\" + subkey, ERROR_FILE_NOT_FOUND },    // missing
    };
    for (const Case &c : cases) {
        SetLastError(0);
        EXPECT_FALSE(RegDeleteKeyPath(c.path.c_str())) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
        EXPECT_EQ(log_.LastBoxText().rfind("Cannot delete key \"" + c.path + "\" (0/2 - ", 0), 0u) << log_.LastBoxText();
    }
}

TEST_F(Registry, ReadStringCopyIsNullWhenUnreadable)
{
    SetRaw("present", REG_SZ, "value", 6);
    char *copy = RegReadStringCopy(HKEY_CURRENT_USER, kOwnKey, "present", true);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "value");
    MemFree(copy);
    EXPECT_EQ(RegReadStringCopy(HKEY_CURRENT_USER, kOwnKey, "absent", false), nullptr);
    EXPECT_EQ(log_.BoxCount(), 0);
    EXPECT_EQ(RegReadStringCopy(HKEY_CURRENT_USER, "Software\\NoSuchKeyAnywhere", "x", false), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(log_.BoxCount(), 1) << "a missing key is always reported by the one-shot read";
}

}  // namespace
