// Tries a product's setup.ini on a machine as a user would: installs it with setup.exe, answering
// every box and dialog, uninstalls it from the installed copy, and reports what the user saw (with
// a picture of each window), the journal, the trace logs and what the two runs left behind.
//   try_install PRODUCT_DIR OUT_DIR [--windows VERSION] [--advanced] [--install-dir DIR]
//               [--group NAME] [--answer "TEXT=BUTTON"]... [--plant FILE]
// Exit status 0 only when both runs succeeded and nothing is left that the design does not leave
// on purpose.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>
#include "machine.h"
#include "robot.h"

namespace {

const char kStagingFolder[] = "C:\\Product";
const DWORD kWindowTimeoutMs = 60000;
const DWORD kLogPollMs = 100;

struct Options {
    std::string product, out, windows, installDir, group, plant;
    bool advanced = false;
    std::vector<std::pair<std::string, std::string>> answers;   // text prefix, button
};

struct Outcome {
    DWORD exitCode = 0;
    bool clean = true;   // ended by itself, every process with exit code 0
    std::string installDir;
};

std::string ButtonText(const robot::Window &window, int id)
{
    for (size_t i = 0; i < window.buttonIds.size(); i++)
        if (window.buttonIds[i] == id)
            return window.buttons[i];
    return std::to_string(id);
}

// What a user who wants the product answers: go ahead, but never restart the machine, never
// overwrite what is there and never keep a log; the author's --answer rules come first.
int ChooseBoxAnswer(const Options &options, const robot::Window &box)
{
    for (const auto &rule : options.answers)
        if (box.text.find(rule.first) != std::string::npos && robot::ButtonNamed(box, rule.second) != 0)
            return robot::ButtonNamed(box, rule.second);
    return robot::UsualAnswer(box);
}

// The dialogs by their controls: the license (1000), the install options (1001), the progress
// window (1004, nothing to press); anything else, such as NotePad with a kept log, is closed.
std::string AnswerDialog(const Options &options, robot::Session &session, const robot::Window &dialog,
                         Outcome *outcome)
{
    if (dialog.FindControl(1000) != NULL) {
        session.Press(dialog, IDOK);
        return "accepts the license";
    }
    if (dialog.FindControl(1001) != NULL) {
        std::string done;
        if (!options.installDir.empty() && session.SetEditText(dialog, 1001, options.installDir))
            done += "types the folder " + options.installDir + ", ";
        if (!options.group.empty() && session.SetEditText(dialog, 1002, options.group))
            done += "types the Start Menu folder " + options.group + ", ";
        if (options.advanced && session.SetTick(dialog, 1005, true))
            done += "ticks \"I am an advanced user\", ";
        outcome->installDir = session.ReadControlText(dialog, 1001);
        session.Press(dialog, IDOK);
        return done + "presses \"Install\"";
    }
    if (dialog.FindControl(1004) != NULL)
        return "waits";
    session.Close(dialog);
    return "closes it";
}

// The logs are read often: a process deletes its own when it ends well, and what was read last
// is kept.
void CaptureLogs(const std::vector<std::string> &before, std::map<std::string, std::string> *logs)
{
    for (const std::string &log : NewTraceLogs(before)) {
        std::string text = ReadFileText(log);
        if (!text.empty())
            (*logs)[log] = text;
    }
}

Outcome RunSetup(const Options &options, const char *title, const std::string &exe, const std::string &args,
                 const std::string &cwd, int *picture, std::map<std::string, std::string> *logs)
{
    Outcome outcome;
    printf("\n=== %s: \"%s\" %s\n", title, exe.c_str(), args.c_str());
    std::vector<std::string> logsBefore = TraceLogs();
    robot::Session session;
    if (!session.Start(exe, args, cwd)) {
        printf("cannot start: %s\n", session.LastError().c_str());
        outcome.clean = false;
        return outcome;
    }
    robot::Window window;
    DWORD quiet = GetTickCount();
    for (;;) {
        CaptureLogs(logsBefore, logs);
        if (!session.NextWindow(&window, kLogPollMs)) {
            if (!session.Running() || GetTickCount() - quiet > kWindowTimeoutMs)
                break;
            continue;
        }
        quiet = GetTickCount();
        char name[64];
        sprintf(name, "%02d-%s.png", ++*picture, args.empty() ? "install" : "uninstall");
        session.SavePng(window, options.out + "\\" + name);
        CaptureLogs(logsBefore, logs);
        std::string action;
        if (window.isMessageBox) {
            int answer = ChooseBoxAnswer(options, window);
            action = "presses \"" + ButtonText(window, answer) + "\"";
            session.Press(window, answer);
        } else {
            action = AnswerDialog(options, session, window, &outcome);
        }
        printf("\n--- %s (picture %s)\n%s\n    -> the user %s\n", window.isMessageBox ? "message box" : "window", name,
               window.Describe().c_str(), action.c_str());
    }
    robot::Window unexpected;
    if (!session.WaitExit(kWindowTimeoutMs, &outcome.exitCode, &unexpected)) {
        printf("did not end cleanly: %s\n", session.LastError().c_str());
        outcome.clean = false;
    }
    for (const robot::ProcessInfo &process : session.Processes()) {
        bool ours = process.pid == session.RootPid() || robot::IsTemporaryCopy(process.exe);
        if (ours && (!process.exitKnown || process.exitCode != 0))
            outcome.clean = false;
    }
    printf("\nexit code %lu (%s)\n", outcome.exitCode, session.ProcessSummary().c_str());
    CaptureLogs(logsBefore, logs);
    return outcome;
}

void PrintLogs(const std::map<std::string, std::string> &logs)
{
    for (const auto &log : logs)
        printf("\n--- trace log %s%s\n%s", log.first.c_str(), PathExists(log.first) ? "" : " (deleted at the end of its run)",
               log.second.c_str());
}

// Prints the changes that are the product's; returns how many the design does not explain.
int PrintChanges(const std::vector<Change> &changes, bool judge)
{
    int unexplained = 0, printed = 0;
    for (const Change &change : changes) {
        if (IsWineBookkeeping(change.item))
            continue;
        const char *reason = ReasonLeft(change.item);
        std::string detail = change.kind == '~' ? change.before + " -> " + change.after
                                                : change.kind == '+' ? change.after : change.before;
        printed++;
        printf("  %c %s%s%s", change.kind, change.item.c_str(), detail.empty() ? "" : "  = ", detail.c_str());
        if (judge && reason != NULL)
            printf("\n      (left on purpose: %s)", reason);
        printf("\n");
        if (judge && reason == NULL)
            unexplained++;
    }
    if (printed == 0)
        printf("  (nothing)\n");
    return unexplained;
}

bool ParseOptions(int argc, char **argv, Options *options)
{
    if (argc < 3)
        return false;
    options->product = robot::WindowsPath(argv[1]);
    options->out = robot::WindowsPath(argv[2]);
    for (int i = 3; i < argc; i++) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--advanced") {
            options->advanced = true;
        } else if (arg == "--windows" && hasValue) {
            options->windows = argv[++i];
        } else if (arg == "--install-dir" && hasValue) {
            options->installDir = argv[++i];
        } else if (arg == "--group" && hasValue) {
            options->group = argv[++i];
        } else if (arg == "--plant" && hasValue) {
            options->plant = argv[++i];
        } else if (arg == "--answer" && hasValue) {
            std::string rule = argv[++i];
            size_t equals = rule.rfind('=');
            if (equals == std::string::npos)
                return false;
            options->answers.push_back({ rule.substr(0, equals), rule.substr(equals + 1) });
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        fprintf(stderr, "usage: try_install PRODUCT_DIR OUT_DIR [--windows VERSION] [--advanced] [--install-dir DIR] "
                        "[--group NAME] [--answer \"TEXT=BUTTON\"]... [--plant FILE]\n");
        return 2;
    }
    RemoveTree(kStagingFolder);
    if (!CopyTree(options.product, kStagingFolder) ||
        !CopyFileA(robot::EnvPath("SETUP_EXE").c_str(), (std::string(kStagingFolder) + "\\setup.exe").c_str(), FALSE)) {
        fprintf(stderr, "cannot put the product and setup.exe into %s\n", kStagingFolder);
        return 2;
    }
    printf("The product lies in \"%s\", setup.exe beside its setup.ini.\n", kStagingFolder);
    if (!options.windows.empty()) {
        // Wine reports this Windows version to every program named setup.exe.
        HKEY key;
        if (RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\setup.exe", &key) == ERROR_SUCCESS) {
            RegSetValueExA(key, "Version", 0, REG_SZ, (const BYTE *)options.windows.c_str(),
                           (DWORD)options.windows.size() + 1);
            RegCloseKey(key);
        }
        printf("Windows version emulated for setup.exe: %s\n", options.windows.c_str());
    }
    ClearPendingRenames();
    HKEY drivers;
    if (RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Wine\\Drivers", &drivers) == ERROR_SUCCESS) {
        // One sound device: the null device of the harness's ALSA configuration.
        RegSetValueExA(drivers, "Audio", 0, REG_SZ, (const BYTE *)"alsa", 5);
        RegCloseKey(drivers);
    }
    WarmUpWine();
    Snapshot before = TakeSnapshot();
    int picture = 0;
    std::map<std::string, std::string> logs;
    Outcome install = RunSetup(options, "Installation", std::string(kStagingFolder) + "\\setup.exe", "", kStagingFolder,
                               &picture, &logs);
    Snapshot installed = TakeSnapshot();
    printf("\n=== What the installation added or changed\n");
    PrintChanges(CompareSnapshots(before, installed), false);
    std::string journal = ReadFileText(install.installDir + "\\uninst.ini");
    printf("\n--- the journal %s\\uninst.ini\n%s", install.installDir.c_str(), journal.empty() ? "(none)\n" : journal.c_str());

    Outcome uninstall;
    std::string installedExe = install.installDir + "\\setup.exe";
    if (!install.installDir.empty() && PathExists(installedExe)) {
        if (!options.plant.empty()) {
            std::string planted = install.installDir + "\\" + options.plant;
            WriteTextFile(planted, "put here between the two runs\r\n");
            printf("\n(a file was put into the installation folder: %s)\n", planted.c_str());
        }
        uninstall = RunSetup(options, "Uninstallation", installedExe, "-u", install.installDir, &picture, &logs);
    } else {
        printf("\n(no installed copy of setup.exe to uninstall with)\n");
        uninstall.clean = false;
    }
    PrintLogs(logs);
    printf("\n=== What is left after the uninstallation, compared with the machine before the installation\n");
    int unexplained = PrintChanges(CompareSnapshots(before, TakeSnapshot()), true);
    bool ok = install.clean && uninstall.clean && unexplained == 0;
    printf("\n=== %s: installation %s, uninstallation %s, %d thing(s) left that the design does not leave\n",
           ok ? "PASSED" : "FAILED", install.clean ? "succeeded" : "did not succeed",
           uninstall.clean ? "succeeded" : "did not succeed", unexplained);
    ClearPendingRenames();
    return ok ? 0 : 1;
}
