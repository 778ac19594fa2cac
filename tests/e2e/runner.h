// The end-to-end runner: a case is a setup.ini, what is arranged on the machine before, the runs
// of setup.exe with every window the user must see and the answer given, and the facts that must
// hold afterwards. Everything is text, so cases are rows of tables, and each row is a test of its
// own, named after the case: --gtest_filter='*outside_ASCII' runs one.
//
// A window, "caption|kind|text|answer":
//   caption  "~" the product's caption ("<AppName> installation" or "... uninstallation"); any
//            other text as it is, "Setup" before the product is known
//   kind     error, warning, question, information (message boxes); dialog; progress (the
//            progress window, which is passed over unless a case expects it); window (any other,
//            such as NotePad showing a kept log)
//   text     a box's text; for a dialog or the progress window, control checks joined by ";":
//            "CONTROL=TEXT", "CONTROL:hidden", "CONTROL:shown", "CONTROL:ticked", "CONTROL:not ticked",
//            where CONTROL is license, dir, group, warning (the notice under them), progress (the
//            progress window's text), advanced (the check box), help (the Help button) or cancel
//            (the progress window's Cancel button)
//   answer   a box's buttons left to right, the default in brackets, then what is pressed:
//            "Yes,[No]>Yes"; without ">" the default. A dialog's: "accept", "decline", "install",
//            "exit", "enter" (the key), "advanced", "dir=TEXT", "group=TEXT", joined by ","; the
//            progress window's: "cancel". A window's: "close". "wait": nothing is pressed. "kill"
//            ends every process of the run. No box may show while a progress window does.
// "*" in a caption, text or fact matches any run of characters.
//
// A run: the program ("" = {product}\setup.exe), its arguments ("=LINE": the whole command line
// as it stands, the program named apart, as Windows starts an UninstallString), the windows, the
// exit code (kKilled for a run a case kills) and the current folder ("" = the program's own). A
// run whose arguments hold -s is silent: any window at all, a progress window too, fails it.
//
// Placeholders anywhere: {product} the folder setup.exe starts from, {dir} C:\Program Files\<AppName>,
// {group} the program group folder, {common} the all-users programs folder, {temp} the temporary
// folder, {testservice} the tests' service program, {keep} the end of a final report that offers
// to keep the trace log, {kept} its end when the log is kept as install.log, {uninstall} the
// product's registered UninstallString as a run starts, {quiet} its QuietUninstallString, {today}
// the date as yyyymmdd, {short:PATH} the path's short (8.3) form.
//
// Before the runs ("arrange", each taken back afterwards): "file:PATH=TEXT", "folder:PATH",
// "move:PATH=NEWPATH", "locale:CODEPAGE" (the ANSI code page the whole program must run in),
// "delete:PATH", "copy:PATH=ENVVAR" (a fixture file, or SETUP_EXE), "hold:PATH" (held open
// without delete sharing), "version:NAME" (the Windows version Wine tells every program),
// "env:NAME=VALUE", "dll:NAME=ENVVAR" (a system library replaced by a fixture),
// "sz:KEY|NAME=TEXT", "dword:KEY|NAME=NUMBER", "regdel:KEY|NAME" (registry values), "event:NAME"
// (a named event held open), "service:NAME=IMAGE" (a service that exists already),
// "device:HARDWAREID" (a registered root device listing it), "installed" (a complete
// installation first; "installed:FOLDER" of the product in that folder, an earlier version),
// "encode:PATH=utf8|utf8bom|utf16" (the file saved again in that encoding), "open:FOLDER" (every
// user may change it), "big:PATH=MEGABYTES" (a file of zeros, sparse), "package:ENVVAR" (a
// packaged product's folder over the case's, its setup.exe too), "edit:PATH=FROM>TO" (the first
// FROM in the file replaced). In a folder, an environment value or a string value "{U+XXXX}"
// stands for a character the ANSI code page lacks.
//
// After the runs ("expect"): "exists:PATH", "absent:PATH", "content:PATH=TEXT",
// "contains:PATH=TEXT", "files:FOLDER=a,b", "key:PATH", "nokey:PATH", "value:KEY|NAME=DATA",
// "journal:LINE;LINE" ({dir}\uninst.ini after its header), "log:TEXT" / "nolog:TEXT" (a line of
// the runs' trace logs), "undo:LINE;LINE" (the logs' "Deleted" lines, in order), "logs:N" (trace
// logs left in the temporary folder), "link:PATH=TARGET|ARGUMENTS|FOLDER|DESCRIPTION",
// "service:NAME=running|stopped|absent", "devices:HARDWAREID=N" (present devices
// listing it), "pending:TEXT" (queued for deletion at the restart), "notemp:" (no program copy or
// batch file left in the temporary folder, no uninstaller's folder in the system's),
// "secondary:CODE" (the second uninstaller's exit code), "progress:N" (progress windows shown),
// "unchanged:PATTERN;..." (the machine as before the runs but for changes that match a pattern,
// Wine's own and what the design leaves on purpose). A case's own check runs last.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <functional>
#include <ostream>
#include <string>
#include <vector>
#include "machine.h"
#include "robot.h"

namespace e2e {

const int kKilled = -1;

struct Run {
    std::string program;
    std::string arguments;
    std::vector<std::string> windows;
    int exitCode;
    std::string folder;
};

struct Case {
    std::string name;
    std::string script;               // setup.ini beside setup.exe; "" for none
    std::vector<std::string> arrange;
    std::vector<Run> runs;
    std::vector<std::string> expect;
    std::function<void()> check;      // anything the facts cannot say
};

// The windows of a run that goes as planned: the question whether to install, answered Yes; the
// options dialog, Install pressed; the final reports; the question whether to uninstall, Yes.
extern const char kYesToInstall[], kOptionsInstall[], kInstallDone[], kInstallAborted[], kYesToUninstall[], kUninstallDone[];
// The lines uninst.ini opens with.
extern const char kJournalHeader[];

// The list and then the more.
std::vector<std::string> With(std::vector<std::string> list, const std::vector<std::string> &more);
// A text written in UTF-8, in the ANSI code page the test runs in (a Japanese Windows: 932).
std::string Ansi(const char *utf8);
// The text with the first FROM replaced.
std::string Replaced(std::string text, const std::string &from, const std::string &to);
// A setup.ini with the usual keys for the product, then the extra lines.
std::string Script(const std::string &appName, const std::string &extra = "");
std::string CommonProgramsFolder();

// Runs the case and records a failure for each window, exit code or fact that differs.
void RunCase(const Case &c);

// A table's rows as tests of their own:
//   class Installation : public e2e::CaseTest {};
//   TEST_P(Installation, AsTheUserSeesIt) { e2e::RunCase(GetParam()); }
//   INSTANTIATE_TEST_SUITE_P(Rows, Installation, ::testing::ValuesIn(kInstallations), e2e::CaseName);
class CaseTest : public ::testing::TestWithParam<Case> {};
std::string CaseName(const ::testing::TestParamInfo<Case> &info);
void PrintTo(const Case &c, std::ostream *out);

}  // namespace e2e
