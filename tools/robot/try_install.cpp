// Tries a product's setup.ini on a machine as a user would: checks the script first, installs the
// product with setup.exe, answering every box and dialog, uninstalls it from the installed copy,
// and reports what the user saw (with a picture of each window), the journal, the trace logs and
// what the two runs left behind, as text and as report.html.
//   try_install PRODUCT_DIR OUT_DIR [--windows VERSION] [--advanced] [--install-dir DIR]
//               [--group NAME] [--answer "TEXT=BUTTON"]... [--anyway] [--upgrade-from OLD_DIR]
//               [--plant FILE] [--silent]
// With --silent both runs are silent (-s, as a deployment tool starts them): a window fails them.
// With --upgrade-from the product in OLD_DIR (an earlier version) is installed first, and the
// product is installed over it. Exit status 0 only when the script has no error, every run
// succeeded and nothing is left that the design does not leave on purpose. --plant (a file put
// into the installation folder before the uninstallation) is the tool's own test.
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>
#include "checker.h"
#include "machine.h"
#include "report.h"
#include "robot.h"
#include "support/encoding.h"
#include "support/memory.h"
#include "ui/resource.h"

namespace {

const char kStagingFolder[] = "C:\\Product";
const char kEarlierStagingFolder[] = "C:\\Product-earlier";
const DWORD kWindowTimeoutMs = 60000;
const DWORD kLookMs = 100;

struct Options {
    std::string product, out, windows, installDir, group, plant, upgradeFrom;
    bool advanced = false, anyway = false, silent = false;
    std::vector<std::pair<std::string, std::string>> answers;   // text prefix, button
};

struct Outcome {
    DWORD exitCode = 0;
    bool clean = true;   // ended by itself, every process of the product with exit code 0
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

// The dialogs by their controls: the license, the install options, the progress window (nothing
// to press); anything else, such as NotePad with a kept log, is closed.
std::string AnswerDialog(const Options &options, robot::Session &session, const robot::Window &dialog, Outcome *outcome)
{
    if (dialog.FindControl(IDC_LICENSE_TEXT) != NULL) {
        session.Press(dialog, IDOK);
        return "accepts the license";
    }
    if (dialog.FindControl(IDC_INSTALL_DIR) != NULL) {
        std::string done;
        if (!options.installDir.empty() && session.SetEditText(dialog, IDC_INSTALL_DIR, options.installDir))
            done += "types the folder " + options.installDir + ", ";
        if (!options.group.empty() && session.SetEditText(dialog, IDC_PROGRAM_GROUP, options.group))
            done += "types the Start Menu folder " + options.group + ", ";
        if (options.advanced && session.SetTick(dialog, IDC_ADVANCED_USER, true))
            done += "ticks \"I am an advanced user\", ";
        outcome->installDir = session.ReadControlText(dialog, IDC_INSTALL_DIR);
        session.Press(dialog, IDOK);
        return done + "presses \"Install\"";
    }
    if (dialog.FindControl(IDC_PROGRESS_TEXT) != NULL)
        return "waits";
    session.Close(dialog);
    return "closes it";
}

void Answer(const Options &options, robot::Session &session, WindowSeen *seen, Outcome *outcome)
{
    if (seen->window.isMessageBox) {
        int answer = ChooseBoxAnswer(options, seen->window);
        seen->action = "presses \"" + ButtonText(seen->window, answer) + "\"";
        session.Press(seen->window, answer);
    } else {
        seen->action = AnswerDialog(options, session, seen->window, outcome);
    }
}

// A silent run names its folder only in its trace log.
std::string InstalledFolder(const Report &report)
{
    const std::string mark = "Actual install dir is \"";
    for (const auto &log : report.logs) {
        size_t at = log.second.text.find(mark);
        if (at != std::string::npos)
            return log.second.text.substr(at + mark.size(), log.second.text.find('"', at + mark.size()) - at - mark.size());
    }
    return "";
}

Outcome RunSetup(const Options &options, const char *title, const std::string &exe, const std::string &args,
                 const std::string &cwd, Report *report)
{
    Outcome outcome;
    report->runs.push_back({ title, "\"" + exe + "\"" + (args.empty() ? "" : " " + args), {}, "" });
    RunSeen &run = report->runs.back();
    printf("\n=== %s: %s\n", title, run.command.c_str());
    TraceLogWatch logs;
    robot::Session session;
    if (!session.Start(exe, args, cwd)) {
        run.ending = "cannot start: " + session.LastError();
        printf("%s\n", run.ending.c_str());
        outcome.clean = false;
        return outcome;
    }
    robot::Window window;
    DWORD quiet = GetTickCount();
    for (;;) {
        logs.Look();
        if (!session.NextWindow(&window, kLookMs)) {
            if (!session.Running() || GetTickCount() - quiet > kWindowTimeoutMs)
                break;
            continue;
        }
        quiet = GetTickCount();
        char name[64];
        int number = 1;
        for (const RunSeen &earlier : report->runs)
            number += (int)earlier.windows.size();
        sprintf(name, "%02d-%s.png", number, args.find("-u") == std::string::npos ? "install" : "uninstall");
        WindowSeen seen = { number, session.SavePng(window, options.out + "\\" + name) ? name : "", window, "" };
        logs.Look();
        Answer(options, session, &seen, &outcome);
        if (options.silent) {
            seen.action += " (a window in a silent run)";
            outcome.clean = false;
        }
        printf("\n--- %s %02d (%s)\n%s\n    -> the user %s\n", window.isMessageBox ? "message box" : "window", number,
               seen.picture.empty() ? "gone before its picture could be taken" : ("picture " + seen.picture).c_str(),
               window.Describe().c_str(), seen.action.c_str());
        run.windows.push_back(seen);
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
    run.ending = "exit code " + std::to_string(outcome.exitCode) + " (" + session.ProcessSummary() + ")";
    printf("\n%s\n", run.ending.c_str());
    for (const auto &log : logs.Collect())
        report->logs[log.first] = log.second;
    if (outcome.installDir.empty())
        outcome.installDir = InstalledFolder(*report);
    return outcome;
}

void PrintLogs(const Report &report)
{
    for (const auto &log : report.logs)
        printf("\n--- trace log %s%s\n%s", log.first.c_str(), log.second.deleted ? " (deleted at the end of its run)" : "",
               log.second.text.c_str());
}

// Prints the changes that are the product's; returns how many the design does not explain.
int PrintChanges(const std::vector<Change> &changes, bool judge)
{
    int unexplained = 0, printed = 0;
    for (const Change &change : changes) {
        if (IsWineBookkeeping(change.item))
            continue;
        const char *reason = ReasonLeft(change.item);
        std::string detail = ChangeDetail(change);
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
        } else if (arg == "--silent") {
            options->silent = true;
        } else if (arg == "--anyway") {
            options->anyway = true;
        } else if (arg == "--windows" && hasValue) {
            options->windows = argv[++i];
        } else if (arg == "--install-dir" && hasValue) {
            options->installDir = argv[++i];
        } else if (arg == "--group" && hasValue) {
            options->group = argv[++i];
        } else if (arg == "--upgrade-from" && hasValue) {
            options->upgradeFrom = robot::WindowsPath(argv[++i]);
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

// The script first: its findings open the report, and an error ends the try before anything is
// installed, unless the author asks to go on.
bool CheckFirst(const Options &options, Report *report)
{
    report->findings = CheckProduct(options.product);
    DWORD size = 0, badLine = 0;
    std::string bytes = ReadFileText(options.product + "\\setup.ini");
    char *text = TextToAnsi(bytes.data(), (DWORD)bytes.size(), false, &size, &badLine);
    report->script = text != NULL ? text : "";
    MemFree(text);
    printf("\n=== The setup.ini checker\n");
    for (const Finding &finding : report->findings)
        printf("%s\n", FindingText(finding).c_str());
    printf("%s\n", FindingsSummary(report->findings).c_str());
    if (ErrorCount(report->findings) > 0 && !options.anyway) {
        report->verdict = "STOPPED: setup.ini has errors; nothing was installed (fix them, or try anyway with --anyway)";
        return false;
    }
    return true;
}

// Wine reports the version to every program started from now on: setup.exe, its temporary copy
// (named anew each time), the command interpreter, the product's service and driver modules.
void EmulateWindows(const std::string &version)
{
    HKEY key;
    if (RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Wine", &key) == ERROR_SUCCESS) {
        RegSetValueExA(key, "Version", 0, REG_SZ, (const BYTE *)version.c_str(), (DWORD)version.size() + 1);
        RegCloseKey(key);
    }
    printf("Windows version emulated for every program of the runs: %s\n", version.c_str());
}

// A packaged product keeps its own setup.exe, which the customer runs; any other gets this build's.
bool StageProduct(const std::string &product, const char *folder)
{
    std::string exe = std::string(folder) + "\\setup.exe";
    bool packaged = IsBoundProgram(product + "\\setup.exe");
    RemoveTree(folder);
    if (!CopyTree(product, folder) || (!packaged && !CopyFileA(robot::EnvPath("SETUP_EXE").c_str(), exe.c_str(), FALSE)))
        return false;
    printf("The product %s lies in \"%s\", setup.exe beside its setup.ini: %s.\n", product.c_str(), folder,
           packaged ? ("the package's own, made for " + VersionString(exe, "ProductName") + " " + VersionString(exe, "ProductVersion")).c_str()
                    : "this build's");
    return true;
}

// One sound device: the null device of the harness's ALSA configuration.
void GiveOneSoundDevice()
{
    HKEY drivers;
    if (RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Wine\\Drivers", &drivers) == ERROR_SUCCESS) {
        RegSetValueExA(drivers, "Audio", 0, REG_SZ, (const BYTE *)"alsa", 5);
        RegCloseKey(drivers);
    }
}

// Both runs; the verdict says how they went.
void InstallAndUninstall(const Options &options, Report *report)
{
    ClearPendingRenames();
    GiveOneSoundDevice();
    WarmUpWine();
    if (!options.windows.empty())
        EmulateWindows(options.windows);
    Snapshot before = TakeSnapshot();
    Outcome earlier;
    std::string installArgs = !options.silent ? "" : options.installDir.empty() ? "-s" : "-s -d " + robot::QuoteArg(options.installDir);
    if (!options.upgradeFrom.empty())
        earlier = RunSetup(options, "Installation of the earlier version", std::string(kEarlierStagingFolder) + "\\setup.exe",
                           options.silent ? "-s" : "", kEarlierStagingFolder, report);
    Outcome install = RunSetup(options, "Installation", std::string(kStagingFolder) + "\\setup.exe", installArgs, kStagingFolder, report);
    report->installed = CompareSnapshots(before, TakeSnapshot());
    printf("\n=== What the installation added or changed\n");
    PrintChanges(report->installed, false);
    report->journalPath = install.installDir + "\\uninst.ini";
    report->journal = ReadFileText(report->journalPath);
    printf("\n--- the journal %s\n%s", report->journalPath.c_str(), report->journal.empty() ? "(none)\n" : report->journal.c_str());
    report->installedProduct = ReadInstalledProduct(report->installed, report->journal);
    printf("\n=== What the customer ends up with\n");
    PrintInstalledProduct(report->installedProduct);

    Outcome uninstall;
    std::string installedExe = install.installDir + "\\setup.exe";
    if (!install.installDir.empty() && PathExists(installedExe)) {
        if (!options.plant.empty()) {
            std::string planted = install.installDir + "\\" + options.plant;
            WriteTextFile(planted, "put here between the two runs\r\n");
            printf("\n(a file was put into the installation folder: %s)\n", planted.c_str());
        }
        uninstall = RunSetup(options, "Uninstallation", installedExe, options.silent ? "-u -s" : "-u", install.installDir, report);
    } else {
        printf("\n(no installed copy of setup.exe to uninstall with)\n");
        uninstall.clean = false;
    }
    PrintLogs(*report);
    printf("\n=== What is left after the uninstallation, compared with the machine before the installation\n");
    report->left = CompareSnapshots(before, TakeSnapshot());
    int unexplained = PrintChanges(report->left, true);
    ClearPendingRenames();
    bool errors = ErrorCount(report->findings) > 0;
    report->passed = earlier.clean && install.clean && uninstall.clean && unexplained == 0 && !errors;
    report->verdict = std::string(report->passed ? "PASSED" : "FAILED") + ": " + (errors ? "setup.ini has errors (tried anyway), " : "") +
                      (options.upgradeFrom.empty() ? "" : earlier.clean ? "the earlier version's installation succeeded, "
                                                                        : "the earlier version's installation did not succeed, ") +
                      "installation " + (install.clean ? "succeeded" : "did not succeed") + ", uninstallation " +
                      (uninstall.clean ? "succeeded" : "did not succeed") + ", " + std::to_string(unexplained) +
                      " thing(s) left that the design does not leave";
}

}  // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        fprintf(stderr, "usage: try_install PRODUCT_DIR OUT_DIR [--windows VERSION] [--advanced] [--install-dir DIR] "
                        "[--group NAME] [--answer \"TEXT=BUTTON\"]... [--anyway] [--upgrade-from OLD_DIR] [--silent]\n");
        return 2;
    }
    Report report;
    report.product = options.product;
    report.windowsVersion = options.windows;
    if (CheckFirst(options, &report)) {
        if (!StageProduct(options.product, kStagingFolder) ||
            (!options.upgradeFrom.empty() && !StageProduct(options.upgradeFrom, kEarlierStagingFolder))) {
            fprintf(stderr, "cannot put the products and setup.exe into %s\n", kStagingFolder);
            return 2;
        }
        InstallAndUninstall(options, &report);
    }
    printf("\n=== %s\n", report.verdict.c_str());
    if (!WriteHtmlReport(report, options.out + "\\report.html"))
        printf("(cannot write %s\\report.html)\n", options.out.c_str());
    return report.passed ? 0 : 1;
}
