// The system layer against the real Wine registry and file system: registry keys with their
// messages, libraries from the system folder, privileges, disk flushing, file operations and the
// journal's recorder.
#include <gtest/gtest.h>
#include <algorithm>
#include <regex>
#include <string>
#include "../common/log_capture.h"
#include "robot.h"
#include "support/memory.h"
#include "support/runstate.h"
#include "system/devices.h"
#include "system/diskflush.h"
#include "system/file_ops.h"
#include "system/journal_recorder.h"
#include "system/library.h"
#include "system/privileges.h"
#include "system/registry.h"
#include "system/services.h"
#include "system/setupapi_binding.h"

namespace {

const char kOwnKey[] = "Software\\BrindleworkSetupTests";

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, kOwnKey);
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kOwnKey, &own_), ERROR_SUCCESS);
        RegKeyInit(&key_);
        ASSERT_TRUE(RegKeyOpen(&key_, HKEY_CURRENT_USER, kOwnKey, true, true));
    }
    void TearDown() override
    {
        RegKeyRelease(&key_);
        RegCloseKey(own_);
        RegDeleteTreeA(HKEY_CURRENT_USER, kOwnKey);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kOwnKey);
    }
    void SetRaw(const char *name, DWORD type, const void *data, DWORD size)
    {
        ASSERT_EQ(RegSetValueExA(own_, name, 0, type, (const BYTE *)data, size), ERROR_SUCCESS);
    }
    LogCapture log_;
    HKEY own_ = NULL;
    RegKey key_;
};

TEST_F(Registry, MissingKeysAndValuesAreSilentOnlyWhenAsked)
{
    RegKey key;
    RegKeyInit(&key);
    std::string missing = std::string(kOwnKey) + "\\missing";
    char value[MAX_PATH];
    EXPECT_FALSE(RegKeyOpen(&key, HKEY_CURRENT_USER, missing.c_str(), false, false));
    EXPECT_FALSE(RegKeyQueryString(&key_, "missing", value, false));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(log_.BoxCount(), 0);
    EXPECT_FALSE(RegKeyOpen(&key, HKEY_CURRENT_USER, missing.c_str(), false, true));
    EXPECT_FALSE(RegKeyQueryString(&key_, "missing", value, true));
    EXPECT_EQ(log_.BoxCount(), 2);
    EXPECT_TRUE(key.handle == NULL && key.path == NULL);
    EXPECT_EQ(RegReadStringCopy(HKEY_CURRENT_USER, "Software\\NoSuchKeyAnywhere", "x", false), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(log_.LastBoxText().rfind("Cannot open registry key \"Software\\NoSuchKeyAnywhere\" (0/2 - ", 0), 0u)
        << "the one-shot read always reports a missing key";
}

TEST_F(Registry, QueryExpandsOnlyExpandableStringsAndStaysInItsBuffer)
{
    const char text[] = "%SystemRoot%\\Media";
    char expanded[MAX_PATH];
    ExpandEnvironmentStringsA(text, expanded, MAX_PATH);
    std::string raw(MAX_PATH, 'x'), longText(300, 'v');
    SetRaw("expand", REG_EXPAND_SZ, text, sizeof text);
    SetRaw("plain", REG_SZ, text, sizeof text);
    SetRaw("unterminated", REG_BINARY, raw.data(), MAX_PATH);
    SetRaw("long", REG_SZ, longText.c_str(), (DWORD)longText.size() + 1);
    struct Case { const char *name; bool ok; std::string value; };
    const Case cases[] = {
        { "expand", true, expanded }, { "plain", true, text },
        { "unterminated", true, std::string(MAX_PATH - 1, 'x') },   // a value without its zero still ends
        { "long", false, "" },
    };
    for (const Case &c : cases) {
        char value[MAX_PATH + 8];
        memset(value, '#', sizeof value);
        EXPECT_EQ(RegKeyQueryString(&key_, c.name, value, true), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(std::string(value), c.value) << c.name;
        }
        EXPECT_EQ(value[MAX_PATH], '#') << c.name;
    }
    EXPECT_EQ(log_.LastBoxText().rfind(std::string("Cannot query registry value \"") + kOwnKey + "\\long\" (0/234 - ", 0), 0u);
}

TEST_F(Registry, CreateSetEnumerateAndDelete)
{
    DWORD number = 7;
    SetRaw("number", REG_DWORD, &number, sizeof number);
    RegKey created;
    RegKeyInit(&created);
    std::string path = std::string(kOwnKey) + "\\Created";
    ASSERT_TRUE(RegKeyCreate(&created, HKEY_CURRENT_USER, path.c_str()));
    RegKeyRelease(&created);
    ASSERT_TRUE(RegKeyCreate(&created, HKEY_CURRENT_USER, path.c_str()));   // an existing key is logged too
    RegKeyRelease(&created);
    ASSERT_TRUE(RegKeySetString(&key_, "text", "wave"));
    DWORD size = 0;
    RegQueryValueExA(own_, "text", NULL, NULL, NULL, &size);
    EXPECT_EQ(size, 5u) << "the terminating zero is stored";
    std::vector<std::string> names;
    char name[MAX_PATH], data[MAX_PATH];
    for (DWORD i = 0; RegKeyEnumValue(&key_, i, name, data); i++)
        names.push_back(name);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_ITEMS);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{ "", "text" })) << "a REG_DWORD comes back nameless";
    EXPECT_TRUE(RegKeyDeleteValue(&key_, "text"));
    EXPECT_FALSE(RegKeyDeleteValue(&key_, "text"));
    std::vector<std::string> lines = log_.Lines();
    ASSERT_EQ(lines.size(), 7u) << "two enumerated values are logged";
    EXPECT_EQ(lines[0].substr(19), "Created key \"" + path + "\"");
    EXPECT_EQ(lines[1].substr(19), "Created key \"" + path + "\"");
    EXPECT_EQ(lines[2].substr(19), std::string("Value \"") + kOwnKey + "\\text\" set to \"wave\"");
    EXPECT_EQ(lines[5].substr(19), std::string("Deleted value \"") + kOwnKey + "\\text\"");
    EXPECT_EQ(lines[6].substr(17), std::string("**MessageBox: Cannot delete registry value \"") + kOwnKey +
              "\\text\" (0/2 - File not found.)");
}

TEST_F(Registry, DeleteKeyPathByItsRootPrefix)
{
    HKEY machine;
    std::string subkey = std::string(kOwnKey) + "\\Entry";
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, subkey.c_str(), &machine), ERROR_SUCCESS);
    RegCloseKey(machine);
    EXPECT_TRUE(RegDeleteKeyPath(("hklm\\" + subkey).c_str())) << "the prefix's case is ignored";
    EXPECT_FALSE(RegistryKeyExists("HKLM\\" + subkey));
    for (const std::string &path : { "HKCR\\" + subkey, "HKLM" + subkey, "HKCU\\" + subkey }) {
        SetLastError(0);
        EXPECT_FALSE(RegDeleteKeyPath(path.c_str())) << path;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND) << path;
        EXPECT_EQ(log_.LastBoxText().rfind("Cannot delete key \"" + path + "\" (0/2 - ", 0), 0u) << log_.LastBoxText();
    }
}

TEST(Libraries, OnlyTheSystemFolderAndTheFirstMissingProcedureNamed)
{
    LogCapture log;
    HMODULE module = LibraryLoad("winmm.dll");
    ASSERT_NE(module, nullptr);
    char path[MAX_PATH], system[MAX_PATH];
    GetModuleFileNameA(module, path, MAX_PATH);
    GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_EQ(lstrcmpiA(path, (std::string(system) + "\\winmm.dll").c_str()), 0) << path;
    EXPECT_TRUE(LibraryUnload("winmm.dll", module));
    EXPECT_EQ(LibraryLoad("no-such-library.dll"), nullptr);
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].substr(17), "  Unloading winmm.dll");
    EXPECT_EQ(lines[3].rfind("**Cannot load no-such-library.dll (0/126 - ", 17), 17u) << lines[3];

    FARPROC first = NULL, second = NULL, third = NULL;
    const ProcedureSlot table[] = { { "GetTickCount", &first }, { "NoSuchProcedure", &second }, { "Sleep", &third }, { NULL, NULL } };
    const char *missing = NULL;
    EXPECT_FALSE(LibraryResolve(GetModuleHandleA("kernel32.dll"), table, &missing));
    EXPECT_STREQ(missing, "NoSuchProcedure");
    EXPECT_TRUE(first != NULL && third == NULL) << "resolution stops at the first missing name";
    ASSERT_TRUE(LoadSetupApi());
    EXPECT_EQ((FARPROC)SetupApi.DestroyDeviceInfoList, GetProcAddress(SetupApi.module, "SetupDiDestroyDeviceInfoList"));
}

TEST(Privileges, EnabledOnNtUnknownOneReportedAndDisksFlushed)
{
    LogCapture log;
    ::Run.IsNT = false;
    EXPECT_TRUE(EnablePrivilege("NoSuchPrivilegeAnywhere")) << "no token is touched before NT";
    ::Run.IsNT = true;
    EXPECT_FALSE(EnablePrivilege("NoSuchPrivilegeAnywhere"));
    EXPECT_EQ(log.LastBoxText().rfind("Cannot lookup privilege value (0/1313 - ", 0), 0u) << log.LastBoxText();
    // This Wine runs every program as an administrator: the refusal cannot be provoked here.
    EXPECT_TRUE(CheckAdminRights());
    // Two fixed disks: C:, whose flush answers error 1 (passed over), and Z:, the Unix root, which
    // refuses to open with error 5.
    FlushFixedDisks();
    std::vector<std::string> lines = log.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].substr(17), "  Flushing disks");
    EXPECT_EQ(lines.back().substr(17), "**Cannot open Z: (0/5 - Access denied.)");
}

class Files : public ::testing::Test {
protected:
    std::string Write(const std::string &name, const std::string &content)
    {
        std::string path = log_.Folder() + "\\" + name;
        EXPECT_TRUE(WriteTextFile(path, content));
        return path;
    }
    LogCapture log_;
};

TEST_F(Files, CopiesAcrossBlockBoundariesAndLeavesAnExistingFileToTheCaller)
{
    for (size_t size : { (size_t)0, (size_t)kCopyBlockSize, (size_t)kCopyBlockSize * 3 + 7 }) {
        std::string content;
        for (size_t i = 0; i < size; i++)
            content += (char)(i * 31 % 251);
        std::string source = Write("source.bin", content), destination = log_.Folder() + "\\copy.bin";
        DeleteFileA(destination.c_str());
        ASSERT_TRUE(CopyOneFile(source.c_str(), destination.c_str(), true)) << size;
        EXPECT_EQ(ReadFileText(destination), content) << size;
    }
    std::string source = Write("new.txt", "new"), destination = Write("old.txt", "old");
    EXPECT_FALSE(CopyOneFile(source.c_str(), destination.c_str(), true));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);
    EXPECT_EQ(log_.BoxCount(), 0) << "an existing file is the caller's question";
    EXPECT_TRUE(CopyOneFile(source.c_str(), destination.c_str(), false));
    EXPECT_EQ(ReadFileText(destination), "new");
}

TEST_F(Files, LoadSaveDeleteQueueAndTemporaryFiles)
{
    std::string empty = Write("empty.txt", "");
    DWORD size = 99;
    char *block = LoadFile(empty.c_str(), "empty.txt", &size);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(size == 0 && block[0] == '\0');
    MemFree(block);
    EXPECT_EQ(LoadFile((log_.Folder() + "\\missing.txt").c_str(), "missing.txt", NULL), nullptr);
    EXPECT_EQ(log_.LastBoxText().rfind("Cannot open file \"missing.txt\" (0/2 - ", 0), 0u) << "named as the caller names it";

    std::string saved = Write("saved.txt", "a much longer old content");
    ASSERT_TRUE(SaveFile(saved.c_str(), "short", 5));
    EXPECT_EQ(ReadFileText(saved), "short");
    EXPECT_TRUE(DeleteOneFile(saved.c_str()));
    EXPECT_TRUE(DeleteOneFile(saved.c_str())) << "a file that is gone counts as deleted";
    EXPECT_EQ(log_.Lines().back().substr(17), "**File \"" + saved + "\" to be deleted doesn't exist");

    ::Run.IsNT = false;
    std::string kept = Write("kept.txt", "x");
    EXPECT_FALSE(QueueFileDeletion(kept.c_str(), true)) << "no queue before NT";
    EXPECT_EQ(ReadFileText(kept), "x");

    char path[MAX_PATH];
    HANDLE file = CreateTempFile(path, "BAT");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    std::string name = std::string(path).substr(log_.Folder().size());
    EXPECT_TRUE(std::regex_match(name, std::regex(R"(\\[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}\.BAT)"))) << path;
}

TEST(JournalRecorder, LinesByteForByteAndAnOverlongOneRefusedNotCut)
{
    LogCapture log;
    JournalClear();
    ASSERT_TRUE(JournalAppendLine(kJournalHeader));
    ASSERT_TRUE(JournalAddEvent(kEventAppName, "\"%s\"", "Demo Audio"));
    ASSERT_TRUE(JournalAddEvent(kEventAdmRightsRequired, NULL));
    ASSERT_TRUE(JournalAddEvent(kEventCreateFile, "\"%s\"", std::string(354, 'p').c_str()));   // 367 characters
    EXPECT_FALSE(JournalAddEvent(kEventCreateFile, "\"%s\"", std::string(355, 'p').c_str()));
    EXPECT_EQ(log.BoxCount(), 1);
    EXPECT_EQ(std::string(JournalText()),
              ";\r\n; Caution!\r\n; Do not delete or modify this file. It is required to product uninstallation.\r\n;\r\n\r\n"
              "AppName \"Demo Audio\"\r\nAdmRightsRequired\r\nCreateFile \"" + std::string(354, 'p') + "\"\r\n");
    EXPECT_EQ(EventCode("createfile"), (DWORD)kEventCreateFile) << "names are found without regard to case";
    EXPECT_EQ(EventCode("CreateFil"), (DWORD)kEventUnknown);
    EXPECT_EQ(EventCode(std::string(5000, 'N').c_str()), (DWORD)kEventUnknown);
    JournalClear();
}

// From its first save on, uninst.ini follows every record at once; a record whose save fails is
// recorded all the same (the failure is logged), and the installation's next save shows the cause.
TEST(JournalRecorder, TheFileFollowsEveryRecordAndAFailedFollowUpSaveOnlyLogs)
{
    LogCapture log;
    JournalClear();
    std::string path = log.Folder() + "\\uninst.ini";
    JournalSetFile(path.c_str());
    ASSERT_TRUE(JournalAppendLine(kJournalHeader));
    ASSERT_TRUE(SaveJournal());
    std::string named = std::string(kJournalHeader) + "\r\nCreateFile \"" + path + "\"\r\n";
    EXPECT_EQ(ReadFileText(path), named) << "the journal names itself on disk at once";
    ASSERT_TRUE(JournalAddEvent(kEventCreateDir, "\"C:\\One\""));
    EXPECT_EQ(ReadFileText(path), named + "CreateDir \"C:\\One\"\r\n");
    // Another program (a backup, a scanner) holds the file without sharing it.
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    int boxes = log.BoxCount();
    EXPECT_TRUE(JournalAddEvent(kEventCreateDir, "\"C:\\Two\"")) << "recorded, though not saved";
    EXPECT_EQ(log.BoxCount(), boxes);
    EXPECT_TRUE(Matches("*Cannot save the journal to \"" + path + "\" (0/32 - *)", log.Lines().back())) << log.Lines().back();
    EXPECT_FALSE(SaveJournal());
    EXPECT_EQ(log.BoxCount(), boxes + 1);
    EXPECT_TRUE(Matches("Cannot create file \"" + path + "\" (0/32 - *)", log.LastBoxText())) << log.LastBoxText();
    CloseHandle(holder);
    EXPECT_TRUE(Matches("*CreateDir \"C:\\Two\"\r\n", JournalText()));
    JournalClear();
}

// A real service of the tests' own service program that hangs in its stop.
TEST(Services, OneThatNeverStopsIsDeletedAfterThreeSecondsWithoutWarning)
{
    LogCapture log;
    ASSERT_TRUE(LoadSetupApi());   // a deleted service's legacy device is looked up through it
    ASSERT_TRUE(ServiceInstall("SetupTestNeverStops", "Setup Test", (robot::EnvPath("TEST_SERVICE_EXE") + " never-stops").c_str(),
                               SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START));
    ASSERT_EQ(ServiceState("SetupTestNeverStops"), "running");   // a service still starting takes no stop request
    DWORD start = GetTickCount();
    EXPECT_EQ(ServiceStopAndDelete("SetupTestNeverStops"), 0u) << "the time-out itself is no warning: " << log.LastBoxText();
    DWORD spent = GetTickCount() - start;
    EXPECT_GE(spent, kServiceStopWaitMs);
    EXPECT_LT(spent, kServiceStopWaitMs + 2000);
    EXPECT_EQ(log.Lines().back().substr(19), "Service \"SetupTestNeverStops\" is deleted");
    EXPECT_EQ(log.BoxCount(), 0);
}

// Root devices made here through the setup API, as a device installation would make them.
TEST(Devices, FoundByEitherIdListIgnoringCaseAndRemovedByInstanceId)
{
    LogCapture log;
    ASSERT_TRUE(LoadSetupApi());
    ASSERT_TRUE(MakeDevice("ROOT\\SETUP_BUS_ID|SETUPTESTDEV", SPDRP_HARDWAREID));
    ASSERT_TRUE(MakeDevice("SetupTestCompatible", SPDRP_COMPATIBLEIDS));
    char instance[MAX_PATH];
    const std::pair<const char *, const char *> cases[] = { { "setuptestdev", "HARDWAREID" }, { "SETUPTESTCOMPATIBLE", "COMPATIBLEIDS" } };
    for (const auto &c : cases) {
        ASSERT_TRUE(FindPresentDevice(c.first, instance)) << c.first;
        EXPECT_TRUE(Matches("ROOT\\MEDIA\\*", instance)) << instance;
        EXPECT_TRUE(Matches(std::string("  Found \"*\" (pos *, ") + c.second + ")", log.Lines().back().substr(17))) << log.Lines().back();
    }
    EXPECT_FALSE(FindPresentDevice("NoSuchSetupTestDevice", instance));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_FOUND);
    EXPECT_EQ(log.BoxCount(), 0) << "devices without COMPATIBLEIDS are passed over quietly";

    ASSERT_TRUE(FindPresentDevice("SetupTestDev", instance));
    HDEVINFO list = 0;
    SP_DEVINFO_DATA element;
    ASSERT_TRUE(OpenDeviceByInstanceId(&list, &element, instance, true));
    EXPECT_TRUE(RemoveDeviceNode(list, &element));
    DestroyDeviceList(&list);
    EXPECT_FALSE(FindPresentDevice("SetupTestDev", NULL));
    EXPECT_FALSE(OpenDeviceByInstanceId(&list, &element, instance, false));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_FOUND);
    EXPECT_FALSE(RemoveLegacyDevice("NoSuchSetupTestService"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_FOUND);
    EXPECT_EQ(log.BoxCount(), 0) << "a vanished device and a missing legacy device are silent";
    RemoveDevices("SetupTestCompatible");
}

}  // namespace
