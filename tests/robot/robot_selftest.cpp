// The robot against boxer.exe (BOXER_EXE): what it reads from message boxes and dialogs, how it
// answers them, how it follows descendant processes, and what it reports when things go wrong.
#include "png.h"
#include "robot.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

using robot::Window;

class RobotTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        boxer_ = robot::EnvPath("BOXER_EXE");
        ASSERT_FALSE(boxer_.empty()) << "BOXER_EXE must name boxer.exe";
        char temp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
        dir_ = std::string(temp) + "robot-selftest-" + std::to_string(GetCurrentProcessId()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), NULL)) << dir_ << " error " << GetLastError();
        answers_ = dir_ + "\\answers.txt";
    }

    void TearDown() override
    {
        session_.KillAll();
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((dir_ + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileA((dir_ + "\\" + found.cFileName).c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(dir_.c_str());
    }

    // Starts boxer with the given steps; its answers go to answers_.
    bool StartBoxer(const std::vector<std::string> &steps)
    {
        std::vector<std::string> args = { "--out", answers_ };
        args.insert(args.end(), steps.begin(), steps.end());
        bool ok = session_.Start(boxer_, robot::JoinArgs(args));
        EXPECT_TRUE(ok) << session_.LastError();
        return ok;
    }

    std::vector<std::string> Answers()
    {
        std::vector<std::string> lines;
        std::ifstream in(answers_);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }

    std::string boxer_, dir_, answers_;
    robot::Session session_;
};

bool HasEnded(DWORD pid)
{
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!h)
        return true;
    bool ended = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
    CloseHandle(h);
    return ended;
}

std::string ExeOf(DWORD pid)
{
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    char path[MAX_PATH] = "";
    DWORD size = sizeof path;
    if (h) {
        QueryFullProcessImageNameA(h, 0, path, &size);
        CloseHandle(h);
    }
    std::string name = path;
    size_t slash = name.find_last_of('\\');
    name = slash == std::string::npos ? name : name.substr(slash + 1);
    for (char &c : name)
        c = (char)tolower((unsigned char)c);
    return name;
}

// ----- reading message boxes -----

TEST_F(RobotTest, ReadsCaptionTextButtonsAndIcon)
{
    ASSERT_TRUE(StartBoxer({ "box", std::to_string(MB_YESNO | MB_ICONQUESTION), "Robot \"caption\"",
                             "First line\\nSecond line" }));
    Window w;
    ASSERT_TRUE(session_.NextWindow(&w, robot::kDefaultTimeoutMs)) << session_.LastError();
    EXPECT_TRUE(w.isMessageBox) << w.Describe();
    EXPECT_EQ("#32770", w.className);
    EXPECT_EQ("Robot \"caption\"", w.caption);
    EXPECT_EQ("First line\nSecond line", w.text);
    EXPECT_EQ((std::vector<std::string>{ "Yes", "No" }), w.buttons);
    EXPECT_EQ((std::vector<int>{ IDYES, IDNO }), w.buttonIds);
    EXPECT_EQ(IDYES, w.defaultButton);
    EXPECT_EQ(robot::kIconQuestion, w.icon) << robot::IconName(w.icon);
    EXPECT_EQ(session_.RootPid(), w.pid);
    // One process only: nothing else, such as Wine's desktop process (which Wine starts as a child
    // of the first program needing the desktop), is taken for part of the program.
    EXPECT_EQ(1u, session_.Pids().size()) << session_.ProcessSummary();
    ASSERT_EQ(1u, session_.History().size());
    EXPECT_EQ(w.hwnd, session_.History()[0].hwnd);

    ASSERT_TRUE(session_.Press(w, IDNO)) << session_.LastError();
    robot::ExpectExit(session_, 0);
    EXPECT_EQ((std::vector<std::string>{ "box 7" }), Answers());
}

// Button captions and ids left to right, the default button, and the pressed button as the answer.
TEST_F(RobotTest, ReadsButtonsAndDefaultAndAnswers)
{
    const struct {
        UINT flags;
        std::vector<std::string> names;
        std::vector<int> ids;
        int defaultId;
        int press;
    } kCases[] = {
        { MB_YESNO, { "Yes", "No" }, { IDYES, IDNO }, IDYES, IDNO },
        { MB_YESNO | MB_DEFBUTTON2, { "Yes", "No" }, { IDYES, IDNO }, IDNO, IDYES },
        { MB_YESNOCANCEL | MB_DEFBUTTON3, { "Yes", "No", "Cancel" }, { IDYES, IDNO, IDCANCEL }, IDCANCEL, IDCANCEL },
        { MB_OKCANCEL | MB_DEFBUTTON2, { "OK", "Cancel" }, { IDOK, IDCANCEL }, IDCANCEL, IDOK },
        { MB_ABORTRETRYIGNORE, { "Abort", "Retry", "Ignore" }, { IDABORT, IDRETRY, IDIGNORE }, IDABORT, IDIGNORE },
        { MB_RETRYCANCEL | MB_DEFBUTTON2, { "Retry", "Cancel" }, { IDRETRY, IDCANCEL }, IDCANCEL, IDRETRY },
    };
    std::vector<std::string> steps, expected;
    for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; i++) {
        steps.insert(steps.end(), { "box", std::to_string(kCases[i].flags), "Case " + std::to_string(i), "text" });
        expected.push_back("box " + std::to_string(kCases[i].press));
    }
    ASSERT_TRUE(StartBoxer(steps));
    for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; i++) {
        SCOPED_TRACE("case " + std::to_string(i));
        Window w = robot::ExpectBox(session_, "Case " + std::to_string(i), "text", robot::kIconNone, kCases[i].ids,
                                    kCases[i].defaultId);
        ASSERT_TRUE(w.hwnd);
        EXPECT_EQ(kCases[i].names, w.buttons);
        ASSERT_TRUE(session_.Press(w, kCases[i].press)) << session_.LastError();
    }
    robot::ExpectExit(session_, 0);
    EXPECT_EQ(expected, Answers());
}

TEST_F(RobotTest, TellsTheIconKind)
{
    const struct {
        UINT flags;
        robot::IconKind icon;
    } kCases[] = {
        { MB_ICONHAND, robot::kIconError },              // 16
        { MB_ICONQUESTION, robot::kIconQuestion },       // 32
        { MB_ICONEXCLAMATION, robot::kIconWarning },     // 48
        { MB_ICONASTERISK, robot::kIconInformation },    // 64
        { 0, robot::kIconNone },
    };
    std::vector<std::string> steps;
    for (const auto &c : kCases)
        steps.insert(steps.end(), { "box", std::to_string(c.flags), "Icon", robot::IconName(c.icon) });
    ASSERT_TRUE(StartBoxer(steps));
    for (const auto &c : kCases) {
        SCOPED_TRACE(robot::IconName(c.icon));
        Window w = robot::ExpectBox(session_, "Icon", robot::IconName(c.icon), c.icon, { IDOK }, IDOK);
        ASSERT_TRUE(w.hwnd);
        ASSERT_TRUE(session_.Press(w, IDOK)) << session_.LastError();
    }
    robot::ExpectExit(session_, 0);
}

// ----- answering -----

TEST_F(RobotTest, PressRefusesAButtonTheBoxLacks)
{
    ASSERT_TRUE(StartBoxer({ "box", std::to_string(MB_OK), "Only OK", "one button" }));
    Window w = robot::ExpectBox(session_, "Only OK", "one button", robot::kIconNone, { IDOK }, IDOK);
    ASSERT_TRUE(w.hwnd);
    EXPECT_FALSE(session_.Press(w, IDYES));
    EXPECT_NE(std::string::npos, session_.LastError().find("no control 6")) << session_.LastError();
    Sleep(200);
    EXPECT_TRUE(IsWindow(w.hwnd)) << "the box closed although no button was pressed";
    ASSERT_TRUE(session_.Press(w, IDOK)) << session_.LastError();
    robot::ExpectExit(session_, 0);
    EXPECT_EQ((std::vector<std::string>{ "box 1" }), Answers());
}

TEST_F(RobotTest, DrivesADialog)
{
    ASSERT_TRUE(StartBoxer({ "dialog", "Robot dialog", "initial text" }));
    Window w = robot::ExpectWindow(session_, "Robot dialog", "#32770");
    ASSERT_TRUE(w.hwnd);
    EXPECT_FALSE(w.isMessageBox) << w.Describe();
    EXPECT_EQ((std::vector<std::string>{ "OK", "Cancel" }), w.buttons);
    EXPECT_EQ(IDOK, w.defaultButton);
    ASSERT_TRUE(w.FindControl(100));
    EXPECT_EQ("Edit", w.FindControl(100)->className);
    EXPECT_EQ("initial text", w.FindControl(100)->text);
    ASSERT_TRUE(w.FindControl(101));
    EXPECT_FALSE(w.FindControl(101)->checked);

    EXPECT_EQ("initial text", session_.ReadControlText(w, 100));
    ASSERT_TRUE(session_.SetEditText(w, 100, "typed by the robot")) << session_.LastError();
    EXPECT_EQ("typed by the robot", session_.ReadControlText(w, 100));
    ASSERT_TRUE(session_.Tick(w, 101)) << session_.LastError();
    ASSERT_TRUE(session_.Update(&w)) << session_.LastError();
    EXPECT_TRUE(w.FindControl(101)->checked) << w.Describe();
    ASSERT_TRUE(session_.SetTick(w, 101, false)) << session_.LastError();
    ASSERT_TRUE(session_.Update(&w)) << session_.LastError();
    EXPECT_FALSE(w.FindControl(101)->checked) << w.Describe();
    ASSERT_TRUE(session_.Tick(w, 101)) << session_.LastError();
    ASSERT_TRUE(session_.Tick(w, 101)) << "ticking a ticked box leaves it ticked: " << session_.LastError();
    EXPECT_FALSE(session_.Tick(w, IDOK)) << "a push button cannot be ticked";

    ASSERT_TRUE(session_.Press(w, IDOK)) << session_.LastError();
    robot::ExpectExit(session_, 0);
    EXPECT_EQ((std::vector<std::string>{ "dialog 1 1 typed by the robot" }), Answers());
}

// ----- following processes -----

TEST_F(RobotTest, FollowsAGrandchild)
{
    ASSERT_TRUE(StartBoxer({ "child", "[", "child", "[", "box", "64", "Grandchild", "from two levels down", "]", "]",
                             "box", "0", "Parent again", "back" }));
    Window w = robot::ExpectBox(session_, "Grandchild", "from two levels down", robot::kIconInformation, { IDOK }, IDOK);
    ASSERT_TRUE(w.hwnd);
    EXPECT_NE(session_.RootPid(), w.pid);
    EXPECT_EQ(3u, session_.Pids().size()) << session_.ProcessSummary();
    ASSERT_TRUE(session_.Press(w, IDOK)) << session_.LastError();

    Window back = robot::ExpectBox(session_, "Parent again", "back", robot::kIconNone, { IDOK }, IDOK);
    ASSERT_TRUE(back.hwnd);
    EXPECT_EQ(session_.RootPid(), back.pid);
    ASSERT_TRUE(session_.Press(back, IDOK)) << session_.LastError();
    robot::ExpectExit(session_, 0);
    EXPECT_EQ((std::vector<std::string>{ "box 1", "box 1" }), Answers());
    ASSERT_EQ(2u, session_.History().size());
    EXPECT_EQ("Grandchild", session_.History()[0].caption);
    EXPECT_EQ("Parent again", session_.History()[1].caption);
    std::vector<robot::ProcessInfo> processes = session_.Processes();
    ASSERT_EQ(3u, processes.size());
    EXPECT_EQ(session_.RootPid(), processes[0].pid);
    for (const robot::ProcessInfo &p : processes) {
        EXPECT_EQ("boxer.exe", p.exe);
        EXPECT_TRUE(p.ended && p.exitKnown) << p.pid;
        EXPECT_EQ(0u, p.exitCode) << p.pid;
    }
}

// The program and its child end at once; the grandchild they leave behind shows a box later.
TEST_F(RobotTest, FollowsAnOrphanedGrandchild)
{
    ASSERT_TRUE(StartBoxer({ "spawn", "[", "spawn", "[", "sleep", "700", "box", "48", "Orphan", "parents gone", "]", "]",
                             "exit", "3" }));
    Window w = robot::ExpectBox(session_, "Orphan", "parents gone", robot::kIconWarning, { IDOK }, IDOK);
    ASSERT_TRUE(w.hwnd);
    EXPECT_TRUE(HasEnded(session_.RootPid())) << session_.ProcessSummary();
    ASSERT_TRUE(session_.Press(w, IDOK)) << session_.LastError();
    robot::ExpectExit(session_, 3);
    EXPECT_EQ((std::vector<std::string>{ "box 1" }), Answers());
}

// NotePad opened through ShellExecute is a process of the program too.
TEST_F(RobotTest, FollowsNotePadOpenedByTheProgram)
{
    std::string readme = dir_ + "\\readme.txt";
    {
        std::ofstream out(readme);
        out << "Read me first.\n";
    }
    ASSERT_TRUE(StartBoxer({ "open", "notepad.exe", readme }));
    Window w;
    ASSERT_TRUE(session_.NextWindow(&w, robot::kDefaultTimeoutMs)) << session_.LastError();
    EXPECT_NE(session_.RootPid(), w.pid);
    EXPECT_FALSE(w.isMessageBox);
    EXPECT_NE(std::string::npos, w.caption.find("readme")) << w.Describe();
    EXPECT_EQ("notepad.exe", ExeOf(w.pid));
    ASSERT_TRUE(session_.Close(w)) << session_.LastError();
    robot::ExpectExit(session_, 0);
    EXPECT_EQ((std::vector<std::string>{ "open OK" }), Answers());
}

TEST_F(RobotTest, NextWindowEndsWhenTheProgramEnds)
{
    ASSERT_TRUE(StartBoxer({ "sleep", "200", "exit", "7" }));
    DWORD start = GetTickCount();
    Window w;
    w.caption = "untouched";
    EXPECT_FALSE(session_.NextWindow(&w, 20000));
    EXPECT_LT(GetTickCount() - start, 10000u) << "NextWindow waited for its time limit";
    EXPECT_EQ("untouched", w.caption);
    EXPECT_NE(std::string::npos, session_.LastError().find("ended")) << session_.LastError();
    robot::ExpectExit(session_, 7);
}

// ----- failures -----

TEST_F(RobotTest, UnexpectedBoxFailsWaitExit)
{
    ASSERT_TRUE(StartBoxer({ "box", "48", "Surprise", "Something went wrong\\nat step two" }));
    DWORD code = 0;
    Window w;
    EXPECT_FALSE(session_.WaitExit(robot::kDefaultTimeoutMs, &code, &w));
    EXPECT_EQ(STILL_ACTIVE, code);
    EXPECT_TRUE(w.isMessageBox) << w.Describe();
    EXPECT_EQ("Surprise", w.caption);
    EXPECT_EQ("Something went wrong\nat step two", w.text);
    EXPECT_NE(std::string::npos, session_.LastError().find("Something went wrong\\nat step two")) << session_.LastError();

    // The box is still there to be answered.
    ASSERT_TRUE(session_.Press(w, IDOK)) << session_.LastError();
    EXPECT_TRUE(session_.WaitExit(robot::kDefaultTimeoutMs, &code)) << session_.LastError();
    EXPECT_EQ(0u, code);
}

TEST_F(RobotTest, ExpectExitReportsTheBoxAtTheCallingLine)
{
    ASSERT_TRUE(StartBoxer({ "box", "16", "Failure", "Cannot copy file.txt" }));
    ::testing::TestPartResultArray failures;
    int line = 0;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
        line = __LINE__ + 1;
        EXPECT_FALSE(robot::ExpectExit(session_, 0));
    }
    ASSERT_EQ(1, failures.size());
    const ::testing::TestPartResult &f = failures.GetTestPartResult(0);
    EXPECT_TRUE(f.nonfatally_failed());
    EXPECT_EQ(line, f.line_number());
    EXPECT_STREQ(__FILE__, f.file_name());
    EXPECT_NE(std::string::npos, std::string(f.message()).find("\"Failure\"")) << f.message();
    EXPECT_NE(std::string::npos, std::string(f.message()).find("Cannot copy file.txt")) << f.message();
    EXPECT_NE(std::string::npos, std::string(f.message()).find("icon error")) << f.message();
}

TEST_F(RobotTest, ExpectBoxReportsEveryDifferenceAtTheCallingLine)
{
    ASSERT_TRUE(StartBoxer({ "box", std::to_string(MB_OKCANCEL | MB_ICONHAND), "Real caption", "Real text", "sleep",
                             "100" }));
    ::testing::TestPartResultArray failures;
    int line = 0;
    Window w;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
        line = __LINE__ + 1;
        w = robot::ExpectBox(session_, "Other caption", "Other text", robot::kIconWarning, { IDOK }, IDOK);
    }
    ASSERT_EQ(1, failures.size());
    const ::testing::TestPartResult &f = failures.GetTestPartResult(0);
    EXPECT_EQ(line, f.line_number());
    std::string message = f.message();
    for (const char *part : { "caption \"Real caption\", expected \"Other caption\"",
                              "text \"Real text\", expected \"Other text\"", "icon error, expected warning",
                              "button ids {1, 2}, expected {1}", "OK (1, default), Cancel (2)" })
        EXPECT_NE(std::string::npos, message.find(part)) << "missing: " << part << "\nin: " << message;
    ASSERT_TRUE(w.hwnd) << "the window is returned even when it differs";
    ASSERT_TRUE(session_.Press(w, IDCANCEL)) << session_.LastError();

    // No second box: waiting for one fails, also at the calling line.
    ::testing::TestPartResultArray missing;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &missing);
        line = __LINE__ + 1;
        w = robot::ExpectBox(session_, "Never", "shown", robot::kIconNone, { IDOK }, IDOK, 3000);
    }
    ASSERT_EQ(1, missing.size());
    EXPECT_EQ(line, missing.GetTestPartResult(0).line_number());
    EXPECT_NE(std::string::npos, std::string(missing.GetTestPartResult(0).message()).find("did not come"))
        << missing.GetTestPartResult(0).message();
    EXPECT_FALSE(w.hwnd);
    robot::ExpectExit(session_, 0);
    EXPECT_EQ((std::vector<std::string>{ "box 2" }), Answers());
}

TEST_F(RobotTest, KillsAProgramThatNeverEnds)
{
    ASSERT_TRUE(StartBoxer({ "child", "[", "sleep", "600000", "]" }));
    DWORD start = GetTickCount();
    DWORD code = 0;
    EXPECT_FALSE(session_.WaitExit(1500, &code));
    DWORD spent = GetTickCount() - start;
    EXPECT_GE(spent, 1500u);
    EXPECT_LT(spent, 8000u);
    EXPECT_EQ(robot::kKilledExitCode, code);
    EXPECT_NE(std::string::npos, session_.LastError().find("killed")) << session_.LastError();
    std::vector<DWORD> pids = session_.Pids();
    EXPECT_EQ(2u, pids.size()) << session_.ProcessSummary();
    for (DWORD pid : pids)
        EXPECT_TRUE(HasEnded(pid)) << pid << " still runs; " << session_.ProcessSummary();
    for (const robot::ProcessInfo &p : session_.Processes()) {
        EXPECT_TRUE(p.ended && p.exitKnown) << p.pid;
        EXPECT_EQ(robot::kKilledExitCode, p.exitCode) << p.pid;
    }
}

// ----- pictures -----

TEST_F(RobotTest, SavesAPictureOfTheBox)
{
    ASSERT_TRUE(StartBoxer({ "box", "64", "Picture", "A picture of this box" }));
    Window w = robot::ExpectBox(session_, "Picture", "A picture of this box", robot::kIconInformation, { IDOK }, IDOK);
    ASSERT_TRUE(w.hwnd);
    std::string path = dir_ + "\\box.png";
    ASSERT_TRUE(session_.SavePng(w, path)) << session_.LastError();

    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const unsigned char kSignature[8] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
    ASSERT_GE(bytes.size(), 33u);
    EXPECT_TRUE(std::equal(kSignature, kSignature + 8, bytes.begin()));
    EXPECT_EQ("IHDR", std::string(bytes.begin() + 12, bytes.begin() + 16));

    robot::Picture picture;
    std::string error;
    ASSERT_TRUE(robot::DecodePng(bytes, &picture, &error)) << error;
    RECT r;
    ASSERT_TRUE(GetWindowRect(w.hwnd, &r));
    EXPECT_EQ(r.right - r.left, picture.width);
    EXPECT_EQ(r.bottom - r.top, picture.height);
    std::set<unsigned long> colours;
    for (size_t i = 0; i < picture.rgb.size(); i += 3)
        colours.insert(picture.rgb[i] << 16 | picture.rgb[i + 1] << 8 | picture.rgb[i + 2]);
    EXPECT_GT(colours.size(), 8u) << "the picture is (nearly) a flat colour";

    ASSERT_TRUE(session_.Press(w, IDOK)) << session_.LastError();
    robot::ExpectExit(session_, 0);
}

// ----- the pieces without a program -----

TEST(Png, ChecksumsMatchTheirCheckValues)
{
    const unsigned char kDigits[] = "123456789";
    EXPECT_EQ(0xCBF43926u, robot::Crc32(kDigits, 9));
    const unsigned char kWord[] = "Wikipedia";
    EXPECT_EQ(0x11E60398u, robot::Adler32(kWord, 9));
    EXPECT_EQ(1u, robot::Adler32(kWord, 0));
}

TEST(Png, RoundTripsAPictureLargerThanOneStoredBlock)
{
    robot::Picture p;
    p.width = 300;
    p.height = 100;  // 90100 bytes of scan lines: two stored blocks
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++)
            p.rgb.insert(p.rgb.end(), { (unsigned char)x, (unsigned char)y, (unsigned char)(x ^ y) });
    std::vector<unsigned char> bytes = robot::EncodePng(p);
    robot::Picture back;
    std::string error;
    ASSERT_TRUE(robot::DecodePng(bytes, &back, &error)) << error;
    EXPECT_EQ(300, back.width);
    EXPECT_EQ(100, back.height);
    EXPECT_TRUE(back.rgb == p.rgb);

    std::vector<unsigned char> damaged = bytes;
    damaged[bytes.size() / 2] ^= 0x01;
    EXPECT_FALSE(robot::DecodePng(damaged, &back, &error));
    EXPECT_NE(std::string::npos, error.find("CRC")) << error;

    damaged = bytes;
    damaged[0] = 0;
    EXPECT_FALSE(robot::DecodePng(damaged, &back, &error));
}

TEST(Paths, WindowsPathMapsTheUnixRootToZ)
{
    const struct {
        const char *in, *out;
    } kCases[] = {
        { "/a/b", "Z:\\a\\b" }, { "/", "Z:\\" }, { "/tmp/with space/boxer.exe", "Z:\\tmp\\with space\\boxer.exe" },
        { "C:\\windows", "C:\\windows" }, { "", "" },
    };
    for (const auto &c : kCases)
        EXPECT_EQ(c.out, robot::WindowsPath(c.in)) << c.in;
}

TEST(Paths, QuoteArgSurvivesTheRuntimeParser)
{
    const struct {
        const char *in, *out;
    } kCases[] = {
        { "plain", "plain" },
        { "two words", "\"two words\"" },
        { "", "\"\"" },
        { "say \"hi\"", "\"say \\\"hi\\\"\"" },
        { "C:\\dir\\", "C:\\dir\\" },
        { "C:\\my dir\\", "\"C:\\my dir\\\\\"" },
    };
    for (const auto &c : kCases)
        EXPECT_EQ(c.out, robot::QuoteArg(c.in)) << c.in;
    EXPECT_EQ("a \"b c\" \"\"", robot::JoinArgs({ "a", "b c", "" }));
}

}  // namespace
