// The journal on disk and its replay, newest first, by the phase of each uninstaller process, and
// the primary's copy deferred; the uninstall entry; the secondary's arguments; what the two
// processes share in a silent uninstallation.
#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "script/setup_script.h"
#include "support/memory.h"
#include "support/runstate.h"
#include "system/setupapi_binding.h"
#include "uninstall/handover.h"
#include "uninstall/journal_replay.h"
#include "uninstall/uninstall_entry.h"
#include "uninstall/uninstaller.h"

namespace {

class Journal : public ::testing::Test {
protected:
    void SetUp() override { JournalClear(); }
    void TearDown() override { JournalClear(); }
    static RunStatus Replay(std::string text, DWORD mask) { return ReplayJournal(&text[0], mask); }
    std::string Touch(const std::string &name)
    {
        std::string path = log_.Folder() + "\\" + name;
        EXPECT_TRUE(WriteTextFile(path, "x"));
        return path;
    }
    // The lines of the files and folders deleted so far, from "Deleted" on.
    std::vector<std::string> Deleted() const
    {
        std::vector<std::string> deleted;
        for (const std::string &line : log_.Lines())
            if (line.find("Deleted ") != std::string::npos)
                deleted.push_back(line.substr(line.find("Deleted ")));
        return deleted;
    }
    LogCapture log_;
};

TEST_F(Journal, FindsTheFirstLineOfAnEvent)
{
    const char text[] = ";\r\n; AppName in a comment\r\n\r\nAppNameX \"wrong\"\r\nappname\t \"Demo Audio\"\r\n"
                        "AdmRightsRequired\r\nCreateDi";
    char output[kJournalLineSize];
    const std::pair<DWORD, const char *> cases[] = {
        { kEventAppName, "\"Demo Audio\"" }, { kEventAdmRightsRequired, "" },
        { kEventCreateDir, NULL },   // a line shorter than the name
        { kEventCreateKey, NULL },
    };
    for (const auto &c : cases) {
        const char *found = FindJournalEvent(output, text, c.first);
        EXPECT_EQ(std::string(found ? found : "(none)"), c.second ? c.second : "(none)") << c.first;
    }
}

TEST_F(Journal, ReplayUndoesNewestFirstAndSplitsAtCarriageReturnsOnly)
{
    std::string outer = log_.Folder() + "\\outer", inner = outer + "\\inner";
    CreateDirectoryA(outer.c_str(), NULL);
    CreateDirectoryA(inner.c_str(), NULL);
    std::string file = Touch("outer\\inner\\file.txt"), hidden = Touch("hidden.txt"), last = Touch("last.txt");
    // Only the reverse order can succeed: the file, then the inner folder, then the outer one.
    // The LF-only break does not end a line: the second file hides in the first line's tail.
    std::string journal = std::string(kJournalHeader) + "\r\nAppName \"Demo\"\r\nCreateDir \"" + outer +
                          "\"\r\n\r\n; a comment\r\nCreateDir \"" + inner + "\"\r\ncreatefile \"" + file + "\"\nCreateFile \"" +
                          hidden + "\"\rCreateFile \"" + last + "\"";
    EXPECT_EQ(Replay(journal, kAllEvents), 0u);
    EXPECT_EQ(Deleted(), (std::vector<std::string>{ "Deleted file \"" + last + "\"", "Deleted file \"" + file + "\"",
                                                     "Deleted directory \"" + inner + "\"", "Deleted directory \"" + outer + "\"" }));
    EXPECT_TRUE(PathExists(hidden));
    EXPECT_EQ(Replay(std::string(kJournalHeader) + "\r\n", kAllEvents), 0u);
    EXPECT_EQ(ReplayJournal(NULL, kAllEvents), 0u);
}

// Each process replays only its own events: the primary devices and legacy drivers, the
// secondary everything else, unknown events included.
TEST_F(Journal, EachUninstallerProcessReplaysItsOwnEvents)
{
    ASSERT_TRUE(LoadSetupApi());
    std::string file = Touch("phase.txt");
    struct Case { std::string line; UninstallPhase phase; RunStatus status; const char *logged; };
    const Case cases[] = {
        { "Bogus \"x\"", kPrimaryPhase, 0, NULL },
        { "Bogus \"x\"", kSecondaryPhase, kStatusWarning, "*MessageBox: Unknown installation event Bogus" },
        { "InstallService \"SetupNoSuchService\"", kPrimaryPhase, 0, NULL },
        { "InstallService \"SetupNoSuchService\"", kSecondaryPhase, 0, "*Service \"SetupNoSuchService\" does not exist" },
        { "InstallDevice \"ROOT\\MEDIA\\9999\"", kSecondaryPhase, 0, NULL },
        { "InstallDevice \"ROOT\\MEDIA\\9999\"", kPrimaryPhase, 0, "*Removing device \"ROOT\\MEDIA\\9999\"..." },
        { "CreateFile \"" + file + "\"", kPrimaryPhase, 0, NULL },
        { "CreateFile \"" + file + "\"", kSecondaryPhase, 0, "*Deleted file \"*" },
    };
    for (const Case &c : cases) {
        size_t before = log_.Lines().size();
        EXPECT_EQ(Replay(c.line, PhaseMask(c.phase)), c.status) << c.line << " " << c.phase;
        std::vector<std::string> lines = log_.Lines();
        EXPECT_TRUE(c.logged != NULL ? lines.size() > before && Matches(c.logged, lines[before]) : lines.size() == before)
            << c.line << " " << c.phase;
    }
    EXPECT_EQ(log_.BoxCount(), 1);
    EXPECT_EQ(Replay(std::string(5000, 'N') + " \"arg\"", kAllEvents), kStatusWarning) << "a long name is unknown";
}

// What is gone already is no warning (a key is named in an error box); a folder or key that
// still holds something is a warning.
TEST_F(Journal, WhatIsGoneIsNoWarningWhatCannotGoIs)
{
    std::string folder = log_.Folder() + "\\kept";
    CreateDirectoryA(folder.c_str(), NULL);
    Touch("kept\\users-own.txt");
    HKEY key;
    RegCreateKeyA(HKEY_CURRENT_USER, "Software\\BrindleworkJournalTest\\Child", &key);
    RegCloseKey(key);
    struct Case { std::string line; RunStatus status; const char *box; };
    const Case cases[] = {
        { "CreateDir \"" + log_.Folder() + "\\gone\"", 0, NULL }, { "CreateFile \"" + log_.Folder() + "\\gone.txt\"", 0, NULL },
        { "CreateKey \"HKCR\\Software\\BrindleworkJournalMissing\"", 0, "Cannot delete key \"HKCR\\*\" (0/2 - *" },
        { "CreateDir \"" + folder + "\"", kStatusWarning, "Cannot delete directory *" },
        { "CreateDir \"" + folder + "\" parent", 0, NULL },   // made on the way: another product uses it now
        { "CreateKey \"HKCU\\Software\\BrindleworkJournalTest\"", kStatusWarning, "Cannot delete key *(0/5 - *" },
    };
    for (const Case &c : cases) {
        int boxes = log_.BoxCount();
        EXPECT_EQ(Replay(c.line, kAllEvents), c.status) << c.line;
        EXPECT_EQ(log_.BoxCount() - boxes, c.box ? 1 : 0) << c.line;
        EXPECT_TRUE(c.box == NULL || Matches(c.box, log_.LastBoxText())) << log_.LastBoxText();
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\BrindleworkJournalTest");
}

// Access denied (a read-only file) and a sharing violation (a file another program holds open
// without delete sharing) both mean "in use": the question, then the file queued for the restart.
TEST_F(Journal, FilesInUseAreAskedAboutAndQueuedForTheRestart)
{
    std::string readOnly = Touch("read-only.dll"), held = Touch("held.dll");
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE holder = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    // The read-only file is renamed out of the way; the held one cannot be and is queued as it is.
    const std::pair<std::string, std::string> cases[] = { { readOnly, "*-*-*-*-*.tmp" }, { held, held } };
    ::Run.IsNT = true;
    for (const auto &c : cases) {
        ::Run.RestartNeeded = false;
        EXPECT_EQ(Replay("CreateFile \"" + c.first + "\"", kAllEvents), 0u) << c.first;
        EXPECT_TRUE(Matches("File \"" + c.first + "\" being deleted is currently in use.*", log_.LastBoxText())) << c.first;
        EXPECT_TRUE(::Run.RestartNeeded) << c.first;
        EXPECT_TRUE(Matches("*" + c.second + "*", PendingRenames())) << PendingRenames();
    }
    CloseHandle(holder);
    ClearPendingRenames();
}

// A silent secondary defers the primary's program and the folders that hold it until the primary
// has ended; a file queued meanwhile lets its folder be queued after it.
TEST_F(Journal, ThePrimarysProgramAndItsFoldersWaitForTheDeferredReplay)
{
    std::string folder = log_.Folder() + "\\product", inner = folder + "\\bin";
    CreateDirectoryA(folder.c_str(), NULL);
    CreateDirectoryA(inner.c_str(), NULL);
    std::string program = Touch("product\\bin\\setup.exe"), data = Touch("product\\data.txt"), held = Touch("product\\held.dll");
    HANDLE holder = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    ::Run.IsNT = true;
    DeferUndoOf(program.c_str());
    EXPECT_EQ(Replay("CreateDir \"" + folder + "\"\r\nCreateDir \"" + inner + "\"\r\nCreateFile \"" + held + "\"\r\nCreateFile \"" +
                     program + "\"\r\nCreateFile \"" + data + "\"", kAllEvents), 0u);
    EXPECT_EQ(Deleted(), (std::vector<std::string>{ "Deleted file \"" + data + "\"" }));
    EXPECT_TRUE(PathExists(program));
    EXPECT_EQ(ReplayDeferred(), 0u);
    EXPECT_EQ(Deleted(), (std::vector<std::string>{ "Deleted file \"" + data + "\"", "Deleted file \"" + program + "\"",
                                                     "Deleted directory \"" + inner + "\"" }));
    EXPECT_TRUE(Matches("*" + held + "*" + folder + "*", PendingRenames())) << PendingRenames();
    EXPECT_EQ(ReplayDeferred(), 0u) << "replayed once";
    CloseHandle(holder);
    ClearPendingRenames();
}

// The primary of a silent uninstallation ends with the secondary's result, or fails when the
// secondary ended without one; an installation waits while an uninstaller holds the folder.
TEST(Handover, TheResultReachesThePrimaryAndTheFolderIsWaitedFor)
{
    LogCapture log;
    ::Run.InstallDir = StrDup((log.Folder() + "\\product").c_str());
    ResultChannel primary, secondary;
    ASSERT_TRUE(OpenResultChannel(&primary, true));
    ASSERT_TRUE(OpenResultChannel(&secondary, false));
    HANDLE running = CreateEventA(NULL, TRUE, FALSE, NULL);
    ReportResult(&secondary, kStatusWarning, true);
    EXPECT_EQ(WaitForResult(&primary, running), kStatusWarning);
    EXPECT_TRUE(::Run.RestartNeeded);
    CloseResultChannel(&secondary);
    CloseResultChannel(&primary);
    ASSERT_TRUE(OpenResultChannel(&primary, true));
    SetEvent(running);   // ended without a report
    EXPECT_EQ(WaitForResult(&primary, running), kStatusFailed);
    EXPECT_EQ(log.LastBoxText(), "Cannot get signal from secondary process");
    // A channel someone made first is not taken: its result could be anyone's.
    EXPECT_FALSE(OpenResultChannel(&secondary, true));
    EXPECT_EQ(log.LastBoxText().rfind("Cannot create sync event (0/183", 0), 0u) << log.LastBoxText();
    CloseResultChannel(&primary);
    CloseHandle(running);

    struct Holder {
        static DWORD WINAPI Run(void *held)
        {
            HANDLE hold = HoldFolder(::Run.InstallDir);
            SetEvent(held);
            Sleep(400);
            ReleaseFolder(hold);
            return 0;
        }
    };
    DWORD start = GetTickCount();
    WaitForFolderRelease(::Run.InstallDir);
    EXPECT_LT(GetTickCount() - start, 100u) << "nobody holds it";
    HANDLE held = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE thread = CreateThread(NULL, 0, Holder::Run, held, 0, NULL);
    WaitForSingleObject(held, INFINITE);
    start = GetTickCount();
    std::string otherCase = ::Run.InstallDir;   // as another run may write the same folder
    CharUpperA(&otherCase[0]);
    WaitForFolderRelease(otherCase.c_str());
    EXPECT_GE(GetTickCount() - start, 300u);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(held);
}

// A name the registry would take as a path, or the journal could not give back, is refused before
// any key is made.
TEST(UninstallEntry, NamesThatCannotBeRecordedAreRefusedFirst)
{
    LogCapture log;
    JournalClear();
    Script.AppName = StrDup("Example");
    ::Run.InstallDir = StrDup("C:\\Program Files\\Example");
    ::Run.ExeModuleName = StrDup("setup.exe");
    const std::pair<std::string, DWORD> cases[] = {
        { "1.0\\beta", ERROR_INVALID_NAME }, { "2.0 \"LTS\"", ERROR_INVALID_NAME }, { std::string(300, '9'), ERROR_FILENAME_EXCED_RANGE },
    };
    for (const auto &c : cases) {
        Script.AppVersion = StrDup(c.first.c_str());
        EXPECT_FALSE(RegisterUninstallEntry()) << c.first;
        EXPECT_EQ(GetLastError(), c.second) << c.first;
        EXPECT_EQ(log.LastBoxText().rfind("Cannot register the uninstaller of \"Example\" (0/", 0), 0u);
        EXPECT_EQ(std::string(JournalText() ? JournalText() : ""), "") << c.first;
        EXPECT_FALSE(RegistryKeyExists("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Example 1.0"));
    }
}

// Every uninstallation shows the format; here the longest installation folder still fits, with
// the silent switch passed on.
TEST(SecondaryArguments, TheLongestFolderFits)
{
    char arguments[kSecondaryArgumentsSize];
    std::string longest(MAX_PATH - 1, 'd');
    for (bool silent : { false, true }) {
        ASSERT_TRUE(FormatSecondaryArguments(arguments, 1, longest.c_str(), silent));
        EXPECT_EQ(std::string(arguments), " -u -p 00000001 -d \"" + longest + "\"" + (silent ? " -s" : ""));
    }
}

}  // namespace
