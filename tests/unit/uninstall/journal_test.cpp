#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "support/runstate.h"
#include "support/memory.h"
#include "uninstall/journal.h"

namespace {

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override { ResetJournal(); }
    void TearDown() override { ResetJournal(); }
    static void ResetJournal() { JournalForgetSince(0); }
    static std::string Text() { return JournalText() != NULL ? std::string(JournalText(), JournalMark()) : ""; }
    // Replays a journal text the test wrote; returns the status.
    static RunStatus Replay(const std::string &text, DWORD mask)
    {
        std::string copy = text;
        return ReplayJournal(&copy[0], mask);
    }
    std::string Touch(const std::string &name)
    {
        std::string path = log_.Folder() + "\\" + name;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
        CloseHandle(file);
        return path;
    }
    static bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
    LogCapture log_;
};

TEST_F(JournalTest, FindEventByNameAtTheStartOfALine)
{
    const char text[] = ";\r\n; AppName in a comment\r\n\r\nAppNameX \"wrong\"\r\nappname\t \"Demo Audio\"\r\n"
                        "AdmRightsRequired\r\nCreateFile \"C:\\a\"\r\nCreateDi";
    char output[kJournalLineSize];
    ASSERT_NE(FindJournalEvent(output, text, kEventAppName), nullptr);
    EXPECT_STREQ(output, "\"Demo Audio\"");
    ASSERT_NE(FindJournalEvent(output, text, kEventAdmRightsRequired), nullptr);
    EXPECT_STREQ(output, "");
    EXPECT_EQ(FindJournalEvent(output, text, kEventCreateDir), nullptr) << "a line shorter than the name";
    EXPECT_EQ(FindJournalEvent(output, "", kEventAppName), nullptr);
    EXPECT_EQ(FindJournalEvent(output, "CreateKey \"HKLM\\x\"", kEventAppName), nullptr);
}

TEST_F(JournalTest, ReplayUndoesNewestFirst)
{
    std::string outer = log_.Folder() + "\\outer";
    std::string inner = outer + "\\inner";
    ASSERT_TRUE(CreateDirectoryA(outer.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA(inner.c_str(), NULL));
    std::string file = Touch("outer\\inner\\file.txt");
    // Only the reverse order can succeed: the file, then the inner folder, then the outer one.
    std::string journal = std::string(kJournalHeader) + "\r\nAppName \"Demo\"\r\nAdmRightsRequired\r\n"
                          "CreateDir \"" + outer + "\"\r\n\r\n; a comment\r\nCreateDir \"" + inner +
                          "\"\r\ncreatefile \"" + file + "\"\r\n";
    EXPECT_EQ(Replay(journal, kAllEvents), 0u);
    EXPECT_FALSE(Exists(outer));
    EXPECT_EQ(log_.BoxCount(), 0);
    std::vector<std::string> lines = log_.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(19), "Deleted file \"" + file + "\"");
    EXPECT_EQ(lines[1].substr(19), "Deleted directory \"" + inner + "\"");
    EXPECT_EQ(lines[2].substr(19), "Deleted directory \"" + outer + "\"");
}

TEST_F(JournalTest, ReplayOfTheHeaderAloneDoesNothing)
{
    EXPECT_EQ(Replay(std::string(kJournalHeader) + "\r\n", kAllEvents), 0u);
    EXPECT_EQ(Replay("", kAllEvents), 0u);
    EXPECT_EQ(ReplayJournal(NULL, kAllEvents), 0u);
    EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(JournalTest, LargeJournalReplaysInOnePass)
{
    std::string journal;
    for (int i = 0; i < 400000; i++)
        journal += (i % 2) ? ";\r\n" : "\r\n";   // 2.2 MB of lines that ask for nothing
    std::string file = Touch("last.txt");
    journal += "CreateFile \"" + file + "\"\r\n";
    DWORD start = GetTickCount();
    EXPECT_EQ(Replay(journal, kAllEvents), 0u);
    EXPECT_LT(GetTickCount() - start, 30000u) << "a replay that scans from the start for every line takes hours";
    EXPECT_FALSE(Exists(file));
}

TEST_F(JournalTest, LinesAreSeparatedByCarriageReturnsOnly)
{
    std::string first = Touch("first.txt");
    std::string second = Touch("second.txt");
    std::string third = Touch("third.txt");
    // The LF-only break does not end a line: the second file is hidden in the first line's tail.
    std::string journal = "CreateFile \"" + first + "\"\nCreateFile \"" + second + "\"\rCreateFile \"" + third + "\"";
    EXPECT_EQ(Replay(journal, kAllEvents), 0u);
    EXPECT_FALSE(Exists(first));
    EXPECT_TRUE(Exists(second));
    EXPECT_FALSE(Exists(third));
}

TEST_F(JournalTest, UnknownEventsOnlyWhenTheirBitIsSelected)
{
    const std::string journal = "Bogus \"x\"\r\nCreateValue \"HKLM\\y\"\r\nInstallDevice \"ROOT\\MEDIA\\0000\"\r\n";
    EXPECT_EQ(Replay(journal, ~(EventBit(kEventUnknown) | EventBit(kEventCreateValue) | EventBit(kEventInstallDevice))), 0u);
    EXPECT_EQ(log_.BoxCount(), 0);
    EXPECT_EQ(Replay(journal, EventBit(kEventUnknown)), kStatusWarning);
    EXPECT_EQ(log_.LastBoxText(), "Unknown installation event Bogus");
    EXPECT_EQ(Replay(journal, EventBit(kEventCreateValue)), kStatusWarning);
    EXPECT_EQ(log_.LastBoxText(), "Unknown installation event CreateValue");
    std::string longName(5000, 'N');
    EXPECT_EQ(Replay(longName + " \"arg\"", kAllEvents), kStatusWarning);
    EXPECT_EQ(log_.LastBoxText().substr(0, 30), "Unknown installation event NNN");
    EXPECT_EQ(log_.BoxCount(), 3);
}

TEST_F(JournalTest, ThingsAlreadyGoneAreNoWarning)
{
    std::string folder = log_.Folder() + "\\gone-folder";
    std::string file = log_.Folder() + "\\gone-file.txt";
    EXPECT_EQ(Replay("CreateDir \"" + folder + "\"\r\nCreateFile \"" + file + "\"\r\n", kAllEvents), 0u);
    std::vector<std::string> lines = log_.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(17), "**File \"" + file + "\" to be deleted doesn't exist");
    EXPECT_EQ(lines[1].substr(17), "**Directory \"" + folder + "\" not found");
    EXPECT_EQ(log_.BoxCount(), 0);
}

TEST_F(JournalTest, FolderWithForeignFilesIsAWarning)
{
    std::string folder = log_.Folder() + "\\kept";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    Touch("kept\\users-own.txt");
    EXPECT_EQ(Replay("CreateDir \"" + folder + "\"", kAllEvents), kStatusWarning);
    EXPECT_EQ(log_.LastBoxText().rfind("Cannot delete directory \"" + folder + "\" (", 0), 0u) << log_.LastBoxText();
    EXPECT_TRUE(Exists(folder + "\\users-own.txt"));
}

TEST_F(JournalTest, FileThatCannotBeDeletedIsRenamedAndQueued)
{
    ::Run.IsNT = true;
    std::string file = Touch("in-use.dll");
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));   // deletion: error 5
    // Without a display the retry question is not answered Yes: the file is queued.
    EXPECT_EQ(Replay("CreateFile \"" + file + "\"", kAllEvents), 0u);
    EXPECT_TRUE(::Run.RestartNeeded);
    EXPECT_FALSE(Exists(file));
    std::vector<std::string> lines = log_.Lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(19, 27), "MessageBox: File \"" + file.substr(0, 9));
    EXPECT_EQ(lines[1].substr(19), "Retry disabled");
    EXPECT_EQ(lines[2].substr(19), "Queuing \"" + file + "\" for deletion");
    std::string renamed = lines[3].substr(lines[3].find("\" renamed to \"") + 14);
    renamed.pop_back();
    EXPECT_EQ(renamed.substr(0, log_.Folder().size() + 1), log_.Folder() + "\\");
    EXPECT_EQ(renamed.size(), log_.Folder().size() + 1 + 36 + 4);
    EXPECT_EQ(renamed.substr(renamed.size() - 4), ".tmp");
    EXPECT_TRUE(Exists(renamed));

    std::string tail = renamed.substr(renamed.rfind('\\'));
    EXPECT_NE(PendingRenames().find(tail), std::string::npos) << "the renamed file is queued";
    ClearPendingRenames();
    SetFileAttributesA(renamed.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(renamed.c_str());
}

TEST_F(JournalTest, KeysOutsideTheKnownRootsAreRefused)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\BrindleworkJournalTest", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(Replay("CreateKey \"HKCR\\Software\\BrindleworkJournalTest\"\r\n"
                     "CreateKey \"HKCU\\Software\\BrindleworkJournalTest\"", kAllEvents), 0u);
    EXPECT_NE(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\BrindleworkJournalTest", &key), ERROR_SUCCESS);
    EXPECT_EQ(log_.BoxCount(), 1);
    EXPECT_EQ(log_.LastBoxText().rfind("Cannot delete key \"HKCR\\Software\\BrindleworkJournalTest\" (0/2 - ", 0), 0u);
}

TEST_F(JournalTest, SaveRecordsTheJournalFileOnce)
{
    ::Run.InstallDir = StrDup(log_.Folder().c_str());
    ASSERT_TRUE(JournalAppendLine(kJournalHeader));
    ASSERT_TRUE(SaveJournal());
    std::string path = log_.Folder() + "\\uninst.ini";
    EXPECT_EQ(ReadFileText(path), std::string(kJournalHeader) + "\r\n") << "the new line reaches the disk next time";
    ASSERT_TRUE(SaveJournal());
    ASSERT_TRUE(SaveJournal());
    EXPECT_EQ(ReadFileText(path), std::string(kJournalHeader) + "\r\nCreateFile \"" + path + "\"\r\n");
}

}  // namespace
