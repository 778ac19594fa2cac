// The benchmark runner, inside one Wine prefix with a warm server: installs and uninstalls each
// prepared product with setup.exe and with the peer installer, each answered at once (the peer
// silent) and as a person answers, who reads first; and with a bare CopyFileA / DeleteFileA loop;
// times the first box, the example product and the parts the time goes to; prints the medians as
// a table and writes the plot's data (plot.dat).
//   bench.exe BENCH_DIR ROUNDS
// BENCH_DIR holds products\<case>\ (setup.ini, setup.exe, the payload, optionally peer.exe) and
// demo\ (the example product with setup.exe).
#include "machine.h"
#include "robot.h"
#include "support/libinit.h"
#include "support/runstate.h"
#include "support/tracelog.h"
#include "system/file_hash.h"
#include "system/file_ops.h"
#include "ui/progress.h"
#include "ui/resource.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

const char kCopyDir[] = "C:\\bench-copy";
const char kPeerDir[] = "C:\\Program Files\\Peer Bench";
const DWORD kPollMs = 2;
const DWORD kRunTimeoutMs = 600000;

double Ms()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1000.0 / frequency.QuadPart;
}

// Every measurement by case and metric, in the order first seen.
struct Results {
    std::vector<std::pair<std::string, std::string>> order;
    std::map<std::pair<std::string, std::string>, std::vector<double>> values;

    void Add(const std::string &name, const std::string &metric, double value)
    {
        auto key = std::make_pair(name, metric);
        if (!values.count(key))
            order.push_back(key);
        values[key].push_back(value);
        printf("%s\t%s\t%.1f\n", name.c_str(), metric.c_str(), value);
        fflush(stdout);
    }
    double Median(const std::string &name, const std::string &metric) const
    {
        auto found = values.find(std::make_pair(name, metric));
        if (found == values.end())
            return -1;
        std::vector<double> v = found->second;
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }
};

bool failed = false;

void Fail(const std::string &what)
{
    printf("FAILED: %s\n", what.c_str());
    fflush(stdout);
    failed = true;
}

// What happened when, in ms from the start of a setup run.
struct Timeline {
    double end = 0;
    std::vector<std::pair<double, std::string>> events;
    void Add(double at, const std::string &what) { events.push_back({ at, what }); }
    double First(const std::string &prefix) const
    {
        for (const auto &e : events)
            if (e.second.compare(0, prefix.size(), prefix) == 0)
                return e.first;
        return -1;
    }
};

// A person reads a question or a dialog before answering it: at least this long.
const DWORD kReactionMs = 1200;

// Boxes get the answers of a user who takes the defaults; the dialogs are confirmed as they are.
void Answer(robot::Session &session, const robot::Window &window)
{
    if (window.isMessageBox)
        session.Press(window, robot::UsualAnswer(window));
    else if (window.FindControl(IDC_PROGRESS_TEXT) == NULL)   // the progress window needs nothing
        session.Press(window, IDOK);
}

// The box that reports how the run ended, which a user does not need to read to be done.
bool IsFinalReport(const robot::Window &window)
{
    return window.isMessageBox && (window.text.rfind("Installation completed", 0) == 0 ||
                                   window.text.rfind("Uninstallation completed", 0) == 0);
}

// How one run went: its length, and the time from the user's last answer (the last question or
// dialog) to the final report, as a user waiting at the screen measures it.
struct RunTimes {
    double total = 0, lastAnswer = -1, finalReport = -1;
    int windows = 0;
    double Waited() const { return finalReport >= lastAnswer && lastAnswer >= 0 ? finalReport - lastAnswer : -1; }
};

// Runs setup.exe (or another program) to its end and every process it started; windows are
// answered as they come, at once or after a person's reaction time. False when a process of the
// program did not end with 0.
bool RunProgram(const std::string &exe, const std::string &args, const std::string &cwd, RunTimes *times,
                Timeline *timeline = NULL, DWORD reactionMs = 0)
{
    robot::Session session;
    session.SetPollMs(kPollMs);
    std::vector<std::string> logsBefore = TraceLogs();
    std::map<DWORD, bool> seen;   // pid -> ended
    std::vector<std::string> logsSeen;
    std::string boxes;   // what the user saw, for the report of a failure
    double start = Ms();
    *times = RunTimes();
    if (!session.Start(exe, args, cwd)) {
        Fail(session.LastError());
        return false;
    }
    for (;;) {
        robot::Window window;
        bool found = session.NextWindow(&window, 0);
        double now = Ms() - start;
        if (timeline) {
            for (const robot::ProcessInfo &p : session.Processes()) {
                if (!seen.count(p.pid))
                    timeline->Add(now, "start " + (p.exe.empty() ? std::string("(still loading)") : p.exe));
                if (p.ended && !seen[p.pid])
                    timeline->Add(now, "end " + (p.exe.empty() ? std::string("(never loaded)") : p.exe));
                seen[p.pid] = p.ended;
            }
            for (const std::string &log : NewTraceLogs(logsBefore))
                if (std::find(logsSeen.begin(), logsSeen.end(), log) == logsSeen.end()) {
                    logsSeen.push_back(log);
                    timeline->Add(now, "trace log " + log.substr(log.rfind('\\') + 1));
                }
        }
        if (found) {
            times->windows++;
            boxes += "\n    " + window.Describe();
            if (timeline)
                timeline->Add(now, (window.isMessageBox ? "box: " : "window: ") + window.text.substr(0, 40));
            bool answered = !IsFinalReport(window) && window.FindControl(IDC_PROGRESS_TEXT) == NULL;
            if (IsFinalReport(window) && times->finalReport < 0)
                times->finalReport = now;
            if (answered)
                Sleep(reactionMs);
            Answer(session, window);
            if (answered)
                times->lastAnswer = Ms() - start;
            continue;
        }
        if (!session.Running())
            break;
        if (now > kRunTimeoutMs) {
            Fail(exe + " " + args + " did not end");
            session.KillAll();
            return false;
        }
        Sleep(kPollMs);
    }
    times->total = Ms() - start;
    if (timeline)
        timeline->end = times->total;
    // Only the programs themselves must end well, not Wine's helpers.
    for (const robot::ProcessInfo &p : session.Processes())
        if (p.exitKnown && p.exitCode != 0 && !robot::IsWineHelper(p)) {
            Fail(exe + " " + args + ": " + session.ProcessSummary() + boxes);
            return false;
        }
    return true;
}

// The peer's own window as a user meets it: pages whose first button (Install, Uninstall, Close)
// is pressed after a person's reaction time, until the button says Close once the work is done.
bool RunPeerAsUser(const std::string &exe, const std::string &args, const std::string &cwd, RunTimes *times)
{
    robot::Session session;
    session.SetPollMs(kPollMs);
    robot::Window window;
    double start = Ms();
    *times = RunTimes();
    bool shown = session.Start(exe, args, cwd);
    // A large installer first shows the check of its own data: a window without buttons.
    while (shown && (shown = session.NextWindow(&window, 120000)) && window.FindControl(IDOK) == NULL)
        ;
    if (!shown) {
        Fail("the peer shows no window: " + session.LastError());
        session.KillAll();
        return false;
    }
    HWND button = window.FindControl(IDOK)->hwnd;
    for (std::string text; Ms() - start < kRunTimeoutMs; Sleep(kPollMs)) {
        text = session.ReadControlText(window, IDOK);
        if (!IsWindowEnabled(button) || text.empty())
            continue;
        bool done = text == "&Close" || text == "Close";
        if (done && times->lastAnswer >= 0) {
            times->finalReport = Ms() - start;
            session.Press(window, IDOK);
            break;
        }
        Sleep(kReactionMs);
        session.Press(window, IDOK);
        times->lastAnswer = Ms() - start;
        while (session.ReadControlText(window, IDOK) == text && IsWindowEnabled(button) && Ms() - start < kRunTimeoutMs)
            Sleep(kPollMs);   // until the press has turned the page
    }
    DWORD code = 0;
    if (times->finalReport < 0 || !session.WaitExit(60000, &code) || code != 0) {
        Fail(exe + " " + args + " as a user: " + session.ProcessSummary());
        session.KillAll();
        return false;
    }
    times->total = Ms() - start;
    return true;
}

std::vector<std::string> Payload(const std::string &product)
{
    std::vector<std::string> files;
    for (const std::string &name : ListFolder(product + "\\*.bin"))
        files.push_back(name);
    return files;
}

ULONGLONG FileSize(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return ~0ull;
    return ((ULONGLONG)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

// Every payload file arrived whole in folder.
bool Arrived(const std::string &product, const std::string &folder)
{
    for (const std::string &name : Payload(product))
        if (FileSize(folder + "\\" + name) != FileSize(product + "\\" + name)) {
            Fail(name + " did not arrive whole in " + folder);
            return false;
        }
    return true;
}

std::string IniValue(const std::string &product, const char *key)
{
    char value[MAX_PATH];
    GetPrivateProfileStringA("Main", key, "", value, sizeof value, (product + "\\setup.ini").c_str());
    return value;
}

// The product installed and uninstalled three times: answered at once, as the robot does; as a
// person does, who reads each question and dialog first (timed from the last answer to the final
// report); and silently, as a deployment tool runs it.
void MeasureSetup(Results *results, const std::string &name, const std::string &product, Timeline timelines[3], bool silent = true)
{
    std::string folder = "C:\\Program Files\\" + IniValue(product, "AppName");
    RunTimes times;
    for (DWORD reaction : { (DWORD)0, kReactionMs }) {
        Timeline *install = timelines && !reaction ? &timelines[0] : NULL, *uninstall = timelines ? &timelines[reaction ? 2 : 1] : NULL;
        if (!RunProgram(product + "\\setup.exe", "", product, &times, install, reaction) || !Arrived(product, folder))
            return;
        if (reaction) {
            results->Add(name, "setup install as a user", times.Waited());
        } else {
            results->Add(name, "setup install", times.total);
            results->Add(name, "journal lines", (double)SplitLines(ReadFileText(folder + "\\uninst.ini")).size());
            results->Add(name, "trace log lines", (double)SplitLines(ReadFileText(folder + "\\install.log")).size());
        }
        if (!RunProgram(folder + "\\setup.exe", "-u", folder, &times, uninstall, reaction))
            return;
        if (PathExists(folder))
            Fail(folder + " is still there after the uninstallation");
        results->Add(name, reaction ? "setup uninstall as a user" : "setup uninstall", reaction ? times.Waited() : times.total);
    }
    // Silent, as a deployment tool runs it: no window may appear. (An earlier build has no -s.)
    if (!silent)
        return;
    if (!RunProgram(product + "\\setup.exe", "-s", product, &times) || !Arrived(product, folder))
        return;
    if (times.windows > 0)
        Fail("a window in a silent installation");
    results->Add(name, "setup install silent", times.total);
    if (!RunProgram(folder + "\\setup.exe", "-u -s", folder, &times))
        return;
    if (times.windows > 0 || PathExists(folder))
        Fail("a window in a silent uninstallation, or " + folder + " still there");
    results->Add(name, "setup uninstall silent", times.total);
}

bool SystemCopy(const char *from, const char *to)
{
    return CopyFileA(from, to, FALSE) != FALSE;
}

bool BlockCopy(const char *from, const char *to)
{
    return CopyOneFile(from, to, false);
}

// The payload copied file by file by the system, then by the program's own routine (what its
// fixed block size costs); the copies are deleted after each, the first time on the clock.
void MeasureCopyLoop(Results *results, const std::string &name, const std::string &product)
{
    static const struct { const char *metric; bool (*copy)(const char *, const char *); } kWays[] = {
        { "copy loop", SystemCopy },
        { "block copy loop", BlockCopy },
    };
    std::vector<std::string> files = Payload(product);
    for (const auto &way : kWays) {
        double start = Ms();
        CreateDirectoryA(kCopyDir, NULL);
        for (const std::string &file : files)
            if (!way.copy((product + "\\" + file).c_str(), (std::string(kCopyDir) + "\\" + file).c_str()))
                Fail(std::string(way.metric) + ": " + file + " failed");
        results->Add(name, way.metric, Ms() - start);
        start = Ms();
        for (const std::string &file : files)
            DeleteFileA((std::string(kCopyDir) + "\\" + file).c_str());
        RemoveDirectoryA(kCopyDir);
        if (way.copy == SystemCopy)
            results->Add(name, "delete loop", Ms() - start);
    }
}

// The peer's silent installer with its uninstaller run in place, then as a user starts it (a copy
// of itself in the temporary folder does the work); then both with their pages, as a user meets
// them, timed from the press of Install or Uninstall to the Close button.
void MeasurePeer(Results *results, const std::string &name, const std::string &product)
{
    std::string peer = product + "\\peer.exe", uninstaller = std::string(kPeerDir) + "\\uninst.exe";
    if (!PathExists(peer))
        return;
    static const char *const kUninstallMetrics[] = { "peer uninstall in place", "peer uninstall", "peer uninstall as a user" };
    RunTimes times;
    for (int way = 0; way < 3; way++) {
        bool user = way == 2;
        bool ok = user ? RunPeerAsUser(peer, std::string("/D=") + kPeerDir, product, &times)
                       : RunProgram(peer, std::string("/S /D=") + kPeerDir, product, &times);
        if (!ok || !Arrived(product, kPeerDir))
            return;
        results->Add(name, user ? "peer install as a user" : "peer install", user ? times.Waited() : times.total);
        ok = user ? RunPeerAsUser(uninstaller, "", kPeerDir, &times)
                  : RunProgram(uninstaller, way == 0 ? std::string("/S _?=") + kPeerDir : "/S", kPeerDir, &times);
        if (!ok)
            return;
        results->Add(name, kUninstallMetrics[way], user ? times.Waited() : times.total);
        DeleteFileA(uninstaller.c_str());   // run in place, it cannot delete itself
        RemoveDirectoryA(kPeerDir);
        if (PathExists(kPeerDir))
            Fail(std::string(kPeerDir) + " is still there after the peer's uninstallation");
    }
}

// From the start to the first visible message box; the user then says No.
void MeasureFirstBox(Results *results, const std::string &product)
{
    robot::Session session;
    session.SetPollMs(1);
    double start = Ms();
    if (!session.Start(product + "\\setup.exe", "", product)) {
        Fail(session.LastError());
        return;
    }
    robot::Window box;
    if (!session.NextWindow(&box, 10000) || !box.isMessageBox) {
        Fail("no first box: " + session.LastError());
        return;
    }
    // The robot looks twice, 1 ms apart, before it takes a window as shown.
    results->Add("first box", "time", Ms() - start);
    session.Press(box, IDNO);
    DWORD code = 0;
    if (!session.WaitExit(10000, &code) || code != 0)
        Fail("setup.exe did not end quietly after No");
}

// The parts of a run measured alone, in this process, with the program's own routines.
void MeasureParts(Results *results, const std::string &product, const std::string &bigFile)
{
    // A flushed trace-log line.
    const int lines = 200;
    Run.TraceLogHandle = CreateFileA((TempFolder() + "\\bench.log").c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    double start = Ms();
    for (int i = 0; i < lines; i++)
        LogLine(kLogValue, "Copying \"%s\" to \"%s\"", bigFile.c_str(), kCopyDir);
    results->Add("parts", "trace log line, flushed", (Ms() - start) / lines);
    CloseHandle(Run.TraceLogHandle);
    Run.TraceLogHandle = NULL;
    DeleteFileA((TempFolder() + "\\bench.log").c_str());

    // One large file: the program's 20,480-byte blocks against the system's copy.
    CreateDirectoryA(kCopyDir, NULL);
    std::string to = std::string(kCopyDir) + "\\big.bin";
    start = Ms();
    if (!CopyOneFile(bigFile.c_str(), to.c_str(), false))
        Fail("CopyOneFile failed");
    results->Add("parts", "copy 100 MB, 20,480-byte blocks", Ms() - start);
    DeleteFileA(to.c_str());
    start = Ms();
    CopyFileA(bigFile.c_str(), to.c_str(), FALSE);
    results->Add("parts", "copy 100 MB, CopyFileA", Ms() - start);
    DeleteFileA(to.c_str());
    RemoveDirectoryA(kCopyDir);

    // SHA-256 by the system's CryptoAPI, in the blocks a copy hands it: its raw rate over bytes in
    // memory, and a copy that hashes what it copies.
    std::string bytes(100 << 20, 'h');
    BYTE digest[kDigestSize];
    FileHash hash;
    start = Ms();
    bool hashed = StartHash(&hash);
    for (size_t at = 0; hashed && at < bytes.size(); at += kCopyBlockSize)
        hashed = AddToHash(&hash, bytes.data() + at, (DWORD)std::min<size_t>(kCopyBlockSize, bytes.size() - at));
    hashed = FinishHash(&hash, digest) && hashed;
    results->Add("parts", "SHA-256 of 100 MB in memory", Ms() - start);
    if (!hashed)
        Fail("CryptoAPI cannot hash");
    CreateDirectoryA(kCopyDir, NULL);
    start = Ms();
    if (!CopyOneFile(bigFile.c_str(), to.c_str(), false, NULL, digest))
        Fail("CopyOneFile with its digest failed");
    results->Add("parts", "copy 100 MB with its SHA-256, 20,480-byte blocks", Ms() - start);
    DeleteFileA(to.c_str());
    RemoveDirectoryA(kCopyDir);

    // The progress window: its thread, its dialog, its end.
    start = Ms();
    ShowProgress(true, "Measuring");
    ShowProgress(false, NULL);
    results->Add("parts", "progress window shown and closed", Ms() - start);
}

// The start of COM and the first shell link, which only a fresh process shows: bench.exe com.
int MeasureComStart()
{
    double start = Ms();
    CoInitialize(NULL);
    IShellLinkA *link = NULL;
    IPersistFile *file = NULL;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link);
    if (SUCCEEDED(hr)) {
        link->SetPath("C:\\windows\\notepad.exe");
        hr = link->QueryInterface(IID_IPersistFile, (void **)&file);
    }
    std::string path = TempFolder() + "\\bench.lnk";
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    if (SUCCEEDED(hr))
        hr = file->Save(wide, TRUE);
    double ms = Ms() - start;
    if (file)
        file->Release();
    if (link)
        link->Release();
    DeleteFileA(path.c_str());
    printf("%.1f\n", ms);
    return SUCCEEDED(hr) ? 0 : 1;
}

// A program that does nothing, started directly and through the command interpreter the way the
// secondary uninstaller is (cmd /c a batch file with start /w).
void MeasureProcessStarts(Results *results, const std::string &self)
{
    RunTimes times;
    if (RunProgram(self, "nothing", "C:\\", &times))
        results->Add("parts", "process start, direct", times.total);
    std::string batch = TempFolder() + "\\bench.bat";
    WriteTextFile(batch, "@echo off\r\nstart /w " + self + " nothing\r\n");
    char comspec[MAX_PATH];
    GetEnvironmentVariableA("ComSpec", comspec, MAX_PATH);
    if (RunProgram(comspec, "/c " + batch, "C:\\", &times))
        results->Add("parts", "process start, through cmd /c start /w", times.total);
    double com = 0;
    DeleteFileA(batch.c_str());
    // COM in a fresh process: the child's own figure.
    SECURITY_ATTRIBUTES inherit = { sizeof inherit, NULL, TRUE };
    HANDLE read, write;
    if (!CreatePipe(&read, &write, &inherit, 0))
        return;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = { sizeof si };
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = write;
    si.hStdError = write;
    PROCESS_INFORMATION pi;
    std::string line = "\"" + self + "\" com";
    if (CreateProcessA(self.c_str(), &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
        CloseHandle(write);
        char text[64] = "";
        DWORD got = 0;
        ReadFile(read, text, sizeof text - 1, &got, NULL);
        text[got] = '\0';
        WaitForSingleObject(pi.hProcess, INFINITE);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        com = atof(text);
        if (com > 0)
            results->Add("parts", "COM start and first shell link", com);
    } else {
        CloseHandle(write);
    }
    CloseHandle(read);
}

// The medians as a user times them against the payload's size, a case a line (the longest journal
// is about lines, not bytes), for the plot: MB, then the installation and uninstallation of
// setup.exe, the peer and the copy loop.
void WritePlotData(const Results &r, const std::vector<std::string> &cases, const std::string &dir)
{
    std::vector<std::pair<double, std::string>> lines;
    for (const std::string &name : cases) {
        ULONGLONG bytes = 0;
        for (const std::string &file : Payload(dir + "\\products\\" + name))
            bytes += FileSize(dir + "\\products\\" + name + "\\" + file);
        char line[256];
        sprintf(line, "%.0f %.0f %.0f %.0f %.0f %.0f %.0f \"%s\"\n", bytes / 1048576.0, r.Median(name, "setup install as a user"),
                r.Median(name, "setup uninstall as a user"), r.Median(name, "peer install as a user"),
                r.Median(name, "peer uninstall as a user"), r.Median(name, "copy loop"), r.Median(name, "delete loop"), name.c_str());
        if (name.find("journal") == std::string::npos)
            lines.push_back({ bytes / 1048576.0, line });
    }
    std::sort(lines.begin(), lines.end());
    std::string text = "# MB setup-install setup-uninstall peer-install peer-uninstall copy-loop delete-loop case\n";
    for (const auto &line : lines)
        text += line.second;
    WriteTextFile(dir + "\\plot.dat", text);
}

void PrintTimeline(const char *title, const Timeline &timeline)
{
    printf("\n%s (ms from the start):\n", title);
    for (const auto &e : timeline.events)
        printf("  %7.0f  %s\n", e.first, e.second.c_str());
    printf("  %7.0f  all ended\n", timeline.end);
}

void PrintRow(const Results &r, const char *what, const std::string &name, const char *metric, const char *unit = "ms")
{
    double v = r.Median(name, metric);
    if (v >= 0)
        printf("| %s | %.0f %s |\n", what, v, unit);
}

void PrintRatio(const Results &r, const char *what, const std::string &name, const char *a, const char *b)
{
    double x = r.Median(name, a), y = r.Median(name, b);
    if (x > 0 && y > 0)
        printf("| %s | %.2fx |\n", what, x / y);
}

// A line of a table: the median of a metric, or with "over" the ratio of two medians.
struct TableLine {
    const char *label;
    const char *metric;
    const char *over;
};

void PrintTable(const Results &r, const char *title, const std::string &name, const std::vector<TableLine> &lines)
{
    printf("\n| %s | |\n|---|---|\n", title);
    for (const TableLine &line : lines) {
        if (line.over)
            PrintRatio(r, line.label, name, line.metric, line.over);
        else
            PrintRow(r, line.label, name, line.metric);
    }
}

// Another build of setup.exe, or a bound one, on the copy of a case's product: "NAME|CASE|silent"
// (silent 0 for a build without -s), from variants.txt.
struct Variant {
    std::string name, base;
    bool silent;
};

std::vector<Variant> ReadVariants(const std::string &dir)
{
    std::vector<Variant> variants;
    for (const std::string &line : SplitLines(ReadFileText(dir + "\\variants.txt"))) {
        size_t bar = line.find('|'), last = line.rfind('|');
        if (bar != std::string::npos && last > bar)
            variants.push_back({ line.substr(0, bar), line.substr(bar + 1, last - bar - 1), line.substr(last + 1) == "1" });
    }
    return variants;
}

// Each variant beside the build measured in the same rounds; a bound build's added time beside
// the time to hash its payload once at the rate measured here.
void PrintVariants(const Results &r, const std::vector<Variant> &variants)
{
    if (variants.empty())
        return;
    // Each column against the same column of the build the variant is measured beside.
    static const char *const columns[] = { "setup install as a user", "setup install", "setup uninstall as a user",
                                           "setup uninstall" };
    printf("\n| variant | install as a user | install at once | uninstall as a user | uninstall at once |\n|---|---|---|---|---|\n");
    for (const Variant &v : variants) {
        printf("| %s |", v.name.c_str());
        for (const char *column : columns)
            printf(" %.0f ms, %.2fx |", r.Median(v.name, column), r.Median(v.name, column) / r.Median(v.base, column));
        printf("\n");
    }
    double rate = 100.0 / r.Median("parts", "SHA-256 of 100 MB in memory");   // MB per ms
    for (const Variant &v : variants) {
        if (v.name.find("bound") == std::string::npos)
            continue;
        double megabytes = atof(v.base.c_str() + v.base.find(", ") + 2), hashing = megabytes / rate;
        double added = r.Median(v.name, "setup install") - r.Median(v.base, "setup install");
        printf("\n| %s | |\n|---|---|\n| SHA-256 rate here | %.0f MB/s |\n| hashing %.0f MB once at that rate | %.0f ms |\n"
               "| added by the binding, answered at once | %.0f ms |\n| added / hashing | %.2fx |\n",
               v.name.c_str(), rate * 1000, megabytes, hashing, added, added / hashing);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "nothing") == 0)
        return 0;
    if (argc == 2 && strcmp(argv[1], "com") == 0)
        return MeasureComStart();
    if (argc != 3) {
        fprintf(stderr, "usage: bench.exe BENCH_DIR ROUNDS\n");
        return 2;
    }
    LibInit(NULL);
    std::string dir = robot::WindowsPath(argv[1]);
    int rounds = atoi(argv[2]);
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    Results results;
    Timeline timelines[3];   // of the main case's last round: installation, uninstallation, as a user
    std::vector<std::string> cases = SplitLines(ReadFileText(dir + "\\cases.txt"));
    cases.erase(std::remove(cases.begin(), cases.end(), std::string()), cases.end());
    std::string main = "50 files, 500 MB";
    std::vector<Variant> variants = ReadVariants(dir);
    for (int round = 0; round < rounds && !failed; round++) {
        for (Timeline &timeline : timelines)
            timeline = Timeline();   // the last round's is printed
        // A variant runs right beside the build it is compared with, before it on every other
        // round: what the runs before leave behind (the page cache's write-back of a larger case)
        // weighs on both alike.
        auto measureVariantsOf = [&](const std::string &name) {
            for (const Variant &variant : variants)
                if (variant.base == name)
                    MeasureSetup(&results, variant.name, dir + "\\products\\" + variant.name, NULL, variant.silent);
        };
        for (const std::string &name : cases) {
            std::string product = dir + "\\products\\" + name;
            if (round % 2 == 1)
                measureVariantsOf(name);
            MeasureSetup(&results, name, product, name == main ? timelines : NULL);
            if (round % 2 == 0)
                measureVariantsOf(name);
            MeasureCopyLoop(&results, name, product);
            MeasurePeer(&results, name, product);
        }
        MeasureFirstBox(&results, dir + "\\products\\" + main);
        RunTimes install, uninstall;
        std::string folder = "C:\\Program Files\\" + IniValue(dir + "\\demo", "AppName");
        if (RunProgram(dir + "\\demo\\setup.exe", "", dir + "\\demo", &install) && RunProgram(folder + "\\setup.exe", "-u", folder, &uninstall))
            results.Add("example product", "install plus uninstall", install.total + uninstall.total);
        MeasureParts(&results, dir + "\\products\\" + main, dir + "\\products\\1 file, 100 MB\\f01.bin");
        MeasureProcessStarts(&results, self);
    }
    if (failed)
        return 1;

    PrintTimeline("Installation of 50 files, 500 MB, answered at once, last round", timelines[0]);
    PrintTimeline("Uninstallation of 50 files, 500 MB, answered at once, last round", timelines[1]);
    PrintTimeline("Uninstallation of 50 files, 500 MB, as a user answers, last round", timelines[2]);
    WritePlotData(results, cases, dir);

    printf("\nMedians of %d rounds:\n", rounds);
    PrintTable(results, "installation of 50 files, 500 MB", main, {
        { "setup.exe as a user times it: from Install in the options dialog to the final box", "setup install as a user", NULL },
        { "the peer as a user times it: from Install to its Close button", "peer install as a user", NULL },
        { "setup.exe, every box answered at once, from the start to the end", "setup install", NULL },
        { "peer installer, silent", "peer install", NULL },
        { "CopyFileA loop", "copy loop", NULL },
        { "the same loop with the program's 20,480-byte block copy", "block copy loop", NULL },
        { "setup.exe / peer, as a user times them", "setup install as a user", "peer install as a user" },
        { "setup.exe / copy loop, as a user times it", "setup install as a user", "copy loop" },
        { "setup.exe / copy loop, answered at once", "setup install", "copy loop" },
        { "setup.exe / peer, answered at once and silent", "setup install", "peer install" },
        { "setup.exe -s", "setup install silent", NULL },
        { "setup.exe -s / peer, both silent", "setup install silent", "peer install" },
    });
    PrintTable(results, "uninstallation of 50 files, 500 MB", main, {
        { "setup.exe as a user times it: from Yes to the final box", "setup uninstall as a user", NULL },
        { "the peer as a user times it: from Uninstall to its Close button", "peer uninstall as a user", NULL },
        { "setup.exe, both boxes answered at once, from the start to the end", "setup uninstall", NULL },
        { "peer uninstaller, silent, as a user starts it", "peer uninstall", NULL },
        { "peer uninstaller, silent, run in place", "peer uninstall in place", NULL },
        { "DeleteFileA loop", "delete loop", NULL },
        { "setup.exe / peer, as a user times them", "setup uninstall as a user", "peer uninstall as a user" },
        { "setup.exe / peer, answered at once and silent", "setup uninstall", "peer uninstall" },
        { "setup.exe -u -s, to the end of every process", "setup uninstall silent", NULL },
        { "setup.exe -u -s / peer as a user starts it, both silent", "setup uninstall silent", "peer uninstall" },
    });
    printf("\n| scale | install as a user | uninstall as a user | install at once | uninstall at once | copy loop | "
           "block copy loop | journal lines |\n|---|---|---|---|---|---|---|---|\n");
    for (const std::string &name : cases)
        printf("| %s | %.0f ms | %.0f ms | %.0f ms | %.0f ms | %.0f ms | %.0f ms | %.0f |\n", name.c_str(),
               results.Median(name, "setup install as a user"), results.Median(name, "setup uninstall as a user"),
               results.Median(name, "setup install"), results.Median(name, "setup uninstall"), results.Median(name, "copy loop"),
               results.Median(name, "block copy loop"), results.Median(name, "journal lines"));
    printf("\n| other | |\n|---|---|\n");
    PrintRow(results, "first box, warm server", "first box", "time");
    PrintRow(results, "example product, install plus uninstall", "example product", "install plus uninstall");
    PrintRow(results, "trace log lines of the 500 MB installation", main, "trace log lines", "lines");
    for (const char *part : { "trace log line, flushed", "copy 100 MB, 20,480-byte blocks", "copy 100 MB, CopyFileA",
                              "SHA-256 of 100 MB in memory", "copy 100 MB with its SHA-256, 20,480-byte blocks",
                              "progress window shown and closed", "COM start and first shell link",
                              "process start, direct", "process start, through cmd /c start /w" }) {
        double v = results.Median("parts", part);
        if (v >= 0)
            printf("| %s | %.*f ms |\n", part, v < 10 ? 2 : 0, v);
    }
    PrintVariants(results, variants);
    return 0;
}
