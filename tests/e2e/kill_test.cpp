// A long installation killed at evenly spread moments, then taken back with -u from the journal
// that was on disk when the kill came. What may remain is the one object being made at that
// moment (a file half copied, a folder or key just created, a service just registered) and the
// killed run's trace log, which the design leaves for the user to send.
// KILL_POINTS sets the number of moments (default 3).
#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <set>
#include <thread>
#include "runner.h"

namespace {

const char kProduct[] = "C:\\e2e\\killable";
const char kDir[] = "C:\\Program Files\\Killable";
const int kPayloadFiles = 24;
const DWORD kPayloadBytes = 4 << 20;
const DWORD kWindowTimeoutMs = 60000;

typedef std::chrono::steady_clock Clock;

// Files, a shortcut, a service and the uninstall entry: every kind of object the journal records
// without a device.
void MakeProduct()
{
    RemoveTree(kProduct);
    CreateDirectoryA("C:\\e2e", NULL);
    CreateDirectoryA(kProduct, NULL);
    std::string product = kProduct, files = "[Files]\r\nkillsvc.exe=%WindowsDir%\\system32\r\n";
    ASSERT_TRUE(CopyFileA(robot::EnvPath("SETUP_EXE").c_str(), (product + "\\setup.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(robot::EnvPath("TEST_SERVICE_EXE").c_str(), (product + "\\killsvc.exe").c_str(), FALSE));
    for (int i = 1; i <= kPayloadFiles; i++) {
        files += "payload" + std::to_string(i) + ".bin=%InstallDir%\r\n";
        ASSERT_TRUE(WriteTextFile(product + "\\payload" + std::to_string(i) + ".bin", std::string(kPayloadBytes, 'k')));
    }
    WriteTextFile(product + "\\setup.ini", e2e::Script("Killable", "RegisterUninstaller=1\r\nServiceName=KillableService\r\n"
        "ServiceImage=%WindowsDir%\\system32\\killsvc.exe\r\nServiceType=16\r\nServiceStartup=3\r\n"
        "[Links]\r\nFirst payload=%InstallDir%\\payload1.bin\r\n" + files));
}

// Answers every box until the program ends; the texts of the boxes, one per line.
std::string FinishRun(robot::Session &session, DWORD *exitCode)
{
    std::string boxes;
    robot::Window window;
    while (!session.WaitExit(kWindowTimeoutMs, exitCode, &window) && window.hwnd != nullptr) {
        boxes += window.Describe() + "\n";
        session.Press(window, window.isMessageBox ? robot::UsualAnswer(window) : IDOK);
        window = robot::Window();
    }
    return boxes;
}

// Answers the question and the options dialog; the installation proper runs from then on.
void StartInstallation(robot::Session &session)
{
    ASSERT_TRUE(session.Start(std::string(kProduct) + "\\setup.exe", "", kProduct)) << session.LastError();
    for (int dialog = 0; dialog < 2; dialog++) {
        robot::Window window;
        ASSERT_TRUE(session.NextWindow(&window, kWindowTimeoutMs)) << session.LastError();
        ASSERT_EQ(window.isMessageBox, dialog == 0) << window.Describe();
        session.Press(window, dialog == 0 ? robot::UsualAnswer(window) : IDOK);
    }
}

// How a user takes back what a killed installation left: the installed copy with -u when the
// journal on disk shows it complete, else the product's copy as a secondary without a primary,
// which removes everything but devices (this product has none). Nothing to do without a journal.
std::string TakeBack(const std::string &journal)
{
    if (journal.empty())
        return "";
    std::string installed = std::string(kDir) + "\\setup.exe";
    robot::Session session;
    if (journal.find("CreateFile \"" + installed + "\"") != std::string::npos)
        EXPECT_TRUE(session.Start(installed, "-u", kDir)) << session.LastError();
    else
        EXPECT_TRUE(session.Start(std::string(kProduct) + "\\setup.exe", std::string("-u -p FFFFFFFF -d \"") + kDir + "\"", kProduct))
            << session.LastError();
    DWORD code = 99;
    return FinishRun(session, &code);
}

// What a kill left that is no one's on purpose, each folder or key with all it holds as one object
// and a service with its registry key as another: those the journal on disk names, and the rest.
struct Remains {
    std::vector<std::string> recorded, unrecorded;   // "+ folder C:\\...", "~ value HKLM\\...|name"
};

Remains WhatRemains(const Snapshot &before, const Snapshot &after, const std::string &journal)
{
    std::vector<Change> changes = CompareSnapshots(before, after);
    std::set<std::string> added, objects[2];
    for (const Change &change : changes)
        if (change.kind == '+')
            added.insert(change.item);
    auto recorded = [&](const std::string &path) { return journal.find("\"" + path + "\"") != std::string::npos; };
    const std::string serviceKey = "key HKLM\\System\\CurrentControlSet\\Services\\";
    for (const Change &change : changes) {
        if (ReasonLeft(change.item) != nullptr || IsWineBookkeeping(change.item))
            continue;
        std::string object = change.item, kind = object.substr(0, object.find(' ')), path = object.substr(kind.size() + 1);
        std::string container = kind == "key" || kind == "value" ? "key " : "folder ";
        bool named = recorded(path);
        // An object the journal does not name belongs to its newest unnamed container: a value
        // to its key when that was added too, anything to a parent that was.
        if (kind == "value") {
            path = path.substr(0, path.find('|'));
            if (!named && added.count(container + path) && !recorded(path))
                object = container + path;
        }
        while (!named && path.find('\\') != std::string::npos) {
            path = path.substr(0, path.rfind('\\'));
            if (added.count(container + path) && !recorded(path))
                object = container + path;
        }
        if (object.compare(0, serviceKey.size(), serviceKey) == 0) {
            object = "service " + object.substr(serviceKey.size());
            named = recorded(object.substr(8));
        }
        objects[named].insert(std::string(1, change.kind) + " " + object);
    }
    return { { objects[1].begin(), objects[1].end() }, { objects[0].begin(), objects[0].end() } };
}

class KilledInstallation : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setvbuf(stdout, NULL, _IONBF, 0);   // each kill's line reaches the log at once
        WarmUpWine();
        MakeProduct();
    }
    static void TearDownTestSuite() { RemoveTree(kProduct); }
};

TEST_F(KilledInstallation, LeavesAtMostTheObjectBeingMade)
{
    Snapshot before = TakeSnapshot(kWithoutClasses);

    // The whole installation once, with the journal on disk watched all along: its length is the
    // time from the options dialog to the journal's last save, and a kill must find the journal
    // only as it was before a save or after it.
    Clock::duration length;
    {
        robot::Session session;
        StartInstallation(session);
        Clock::time_point start = Clock::now(), lastSave = start;
        std::atomic<bool> installing(true);
        int emptied = 0;
        std::thread watcher([&] {
            DWORD size = 0;
            WIN32_FILE_ATTRIBUTE_DATA journal;
            for (std::string path = std::string(kDir) + "\\uninst.ini"; installing;) {
                if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &journal) || journal.nFileSizeLow == size)
                    continue;
                emptied += size != 0 && journal.nFileSizeLow == 0;
                size = journal.nFileSizeLow;
                lastSave = Clock::now();
            }
        });
        robot::Window done;
        bool ended = session.NextWindow(&done, kWindowTimeoutMs);
        installing = false;
        watcher.join();
        length = lastSave - start;
        ASSERT_TRUE(ended) << session.LastError();
        EXPECT_EQ(emptied, 0) << "times the journal on disk was seen empty between two saves";
        ASSERT_EQ(done.text, "Installation completed successfully.");
        session.Press(done, IDOK);
        DWORD code = 99;
        FinishRun(session, &code);
        ASSERT_EQ(code, 0u);
    }
    TakeBack(ReadFileText(std::string(kDir) + "\\uninst.ini"));
    Snapshot after = TakeSnapshot(kWithoutClasses);
    EXPECT_EQ(WhatRemains(before, after, "").unrecorded, std::vector<std::string>()) << "after a complete installation";
    TakeBackAdditions(CompareSnapshots(before, after));

    const int points = getenv("KILL_POINTS") != nullptr && atoi(getenv("KILL_POINTS")) > 0 ? atoi(getenv("KILL_POINTS")) : 3;
    int clean = 0;
    for (int k = 1; k <= points; k++) {
        Clock::duration at = length * k / (points + 1);
        long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(at).count();
        SCOPED_TRACE("killed at " + std::to_string(ms) + " ms");
        std::string journal;
        {
            robot::Session session;
            StartInstallation(session);
            std::this_thread::sleep_for(at);
            // Only the installer is killed: under Wine 8, killing a helper it is just starting
            // (the shell's menu builder) can take the test program down with it.
            session.KillRoot();
            DWORD code = 0;
            session.WaitExit(kWindowTimeoutMs, &code, nullptr);
            journal = ReadFileText(std::string(kDir) + "\\uninst.ini");
        }
        std::string boxes = TakeBack(journal);
        after = TakeSnapshot(kWithoutClasses);
        Remains left = WhatRemains(before, after, journal);
        EXPECT_LE(left.unrecorded.size(), 1u) << "left and not in the journal:\n" << testing::PrintToString(left.unrecorded)
                                              << "\nthe uninstallation's boxes:\n" << boxes;
        for (const std::string &object : left.recorded)   // a named folder may stay only for the object being made
            EXPECT_TRUE(object.find(" folder ") == 1 && !left.unrecorded.empty() &&
                        left.unrecorded.front().find(object.substr(object.find(' ', 2)) + "\\") != std::string::npos)
                << object << " is in the journal on disk, and still there";
        printf("kill %d of %d at %lld ms: %d lines on disk; left: %s\n", k, points, ms, (int)SplitLines(journal).size(),
               left.unrecorded.empty() ? "nothing" : left.unrecorded.front().c_str());
        clean += left.unrecorded.empty();
        TakeBackAdditions(CompareSnapshots(before, after));
    }
    printf("%d kill points, %d left nothing, %d left the object being made\n", points, clean, points - clean);
}

}  // namespace
