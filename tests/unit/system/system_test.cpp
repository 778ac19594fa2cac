// The system layer against the real Wine registry and file system: registry values and keys with
// their messages, file operations, the journal's recorder and a service that never stops.
// (Libraries come only from the system folder: the end-to-end tests plant copies where a wider
// search would find them; devices are found and removed in the end-to-end device rows.)
#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "robot.h"
#include "support/runstate.h"
#include "system/file_ops.h"
#include "system/journal_recorder.h"
#include "system/registry.h"
#include "system/services.h"
#include "system/setupapi_binding.h"
#include "system/work_folder.h"

namespace {

const char kOwnKey[] = "Software\\BrindleworkSetupTests";

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, kOwnKey);
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kOwnKey, &own_), ERROR_SUCCESS);
        RegKeyInit(&key_);
        ASSERT_TRUE(RegKeyOpen(&key_, HKEY_CURRENT_USER, kOwnKey, KEY_QUERY_VALUE | KEY_SET_VALUE, true));
    }
    void TearDown() override
    {
        RegKeyRelease(&key_);
        RegCloseKey(own_);
        RegDeleteTreeA(HKEY_CURRENT_USER, kOwnKey);
    }
    void SetRaw(const char *name, DWORD type, const void *data, DWORD size)
    {
        ASSERT_EQ(RegSetValueExA(own_, name, 0, type, (const BYTE *)data, size), ERROR_SUCCESS);
    }
    LogCapture log_;
    HKEY own_ = NULL;
    RegKey key_;
};

// Values read through a 260-byte buffer: expanded when expandable, ended when stored without
// their zero, refused when longer.
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
    const std::pair<const char *, std::string> cases[] = {
        { "expand", expanded }, { "plain", text }, { "unterminated", std::string(MAX_PATH - 1, 'x') }, { "long", "(refused)" },
    };
    for (const auto &c : cases) {
        char value[MAX_PATH + 8];
        memset(value, '#', sizeof value);
        bool ok = RegKeyQueryString(&key_, c.first, value, true);
        EXPECT_EQ(ok ? std::string(value) : "(refused)", c.second) << c.first;
        EXPECT_EQ(value[MAX_PATH], '#') << c.first;
    }
    EXPECT_TRUE(Matches(std::string("Cannot query registry value \"") + kOwnKey + "\\long\" (0/234 - *", log_.LastBoxText()));
}

TEST_F(Registry, AStringIsStoredWithItsTerminatingZero)
{
    ASSERT_TRUE(RegKeySetString(&key_, "text", "wave"));
    DWORD size = 0;
    RegQueryValueExA(own_, "text", NULL, NULL, NULL, &size);
    EXPECT_EQ(size, 5u);
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

// The end-to-end tests copy files of 50,000 and 600,000 bytes; here the edges of a block.
TEST_F(Files, CopiesEmptyAndWholeBlocksAndLeavesAnExistingFileToTheCaller)
{
    for (size_t size : { (size_t)0, (size_t)kCopyBlockSize }) {
        std::string content(size, 'c'), destination = log_.Folder() + "\\copy.bin";
        DeleteFileA(destination.c_str());
        ASSERT_TRUE(CopyOneFile(Write("source.bin", content).c_str(), destination.c_str(), true)) << size;
        EXPECT_EQ(ReadFileText(destination), content) << size;
    }
    std::string source = Write("new.txt", "new"), destination = Write("old.txt", "old");
    EXPECT_FALSE(CopyOneFile(source.c_str(), destination.c_str(), true));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);
    EXPECT_EQ(log_.BoxCount(), 0) << "an existing file is the caller's question";
}

// The journal is saved over its last version; a file that is gone counts as deleted.
TEST_F(Files, SavedOverAndCutAndGoneCountsAsDeleted)
{
    std::string saved = Write("saved.txt", "a much longer old content");
    ASSERT_TRUE(SaveFile(saved.c_str(), "short", 5));
    EXPECT_EQ(ReadFileText(saved), "short");
    EXPECT_TRUE(DeleteOneFile(saved.c_str()));
    EXPECT_TRUE(DeleteOneFile(saved.c_str()));
    EXPECT_EQ(log_.BoxCount(), 0);
}

// A line is recorded whole or not at all; the end-to-end tests read the journal byte for byte.
TEST(JournalRecorder, AnOverlongLineIsRefusedNotCut)
{
    LogCapture log;
    JournalClear();
    ASSERT_TRUE(JournalAddEvent(kEventCreateFile, "\"%s\"", std::string(354, 'p').c_str()));   // 367 characters
    EXPECT_FALSE(JournalAddEvent(kEventCreateFile, "\"%s\"", std::string(355, 'p').c_str()));
    EXPECT_EQ(log.BoxCount(), 1);
    EXPECT_EQ(std::string(JournalText()), "CreateFile \"" + std::string(354, 'p') + "\"\r\n");
    EXPECT_EQ(EventCode("createfile"), (DWORD)kEventCreateFile) << "names are found without regard to case";
    EXPECT_EQ(EventCode("CreateFil"), (DWORD)kEventUnknown);
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
    EXPECT_EQ(log.BoxCount(), 0);
}

// What a crash left goes at the next run, subfolders and all; a folder whose run still holds its
// lock stays, and so does this run's own.
TEST(WorkFolder, AnEarlierRunsFolderGoesOneInUseStays)
{
    LogCapture log;
    char temp[MAX_PATH];
    ASSERT_TRUE(GetSystemTempDir(temp));
    const std::string stale = std::string(temp) + "\\" + kWorkFolderPrefix + "crashed", held = std::string(temp) + "\\" + kWorkFolderPrefix + "running";
    for (const std::string &folder : { stale, held }) {
        CreateDirectoryA(folder.c_str(), NULL);
        CreateDirectoryA((folder + "\\drivers").c_str(), NULL);
        WriteTextFile(folder + "\\setup.ini", "x");
        WriteTextFile(folder + "\\drivers\\x.sys", "x");
    }
    HANDLE lock = CreateFileA((held + "\\lock").c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, NULL, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, NULL);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    const std::string own = WorkFolder();
    RemoveStaleWorkFolders();
    EXPECT_FALSE(PathExists(stale));
    EXPECT_TRUE(PathExists(held + "\\drivers\\x.sys"));
    EXPECT_TRUE(PathExists(own));
    CloseHandle(lock);
    DropWorkFolder();
    EXPECT_FALSE(PathExists(own));
    RemoveTree(held);
}

}  // namespace
