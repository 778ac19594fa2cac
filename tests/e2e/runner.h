// The end-to-end runner: a case is a setup.ini, what is arranged on the machine before, the runs
// of setup.exe with every window the user must see and the answer given, and the facts that must
// hold afterwards. Everything is text, so cases are rows of tables.
//
// A window:  "caption|kind|text|buttons>answer"
//   caption  "~" is the product's caption ("<AppName> installation" or "... uninstallation"),
//            "Setup" before the product is known; "*" matches anything
//   kind     error, warning, question, information (message boxes), dialog, or window (any other,
//            such as NotePad showing a kept log)
//   text     the box's text; for a dialog, control checks "ID=TEXT" or "ID:hidden" / "ID:shown" /
//            "ID:ticked" joined by ";". "*" matches any run of characters.
//   buttons  a box's buttons left to right, the default in brackets: "Yes,[No]>Yes"; without ">"
//            the default is pressed. A dialog's answer: "accept", "decline", "install", "exit",
//            "enter", "advanced", "dir=TEXT", "group=TEXT", joined by ",". A window's: "close".
//            "kill" ends every process of the run.
// Placeholders anywhere: {product} the folder setup.exe starts from, {dir} C:\Program Files\<AppName>,
// {group} the program group folder, {common} the all-users programs folder, {temp} the temporary
// folder, {testservice} the tests' service program, {log} the run's newest trace log, {keep} the report's trace-log paragraph with the Keep
// question, {kept} the same paragraph for the kept install.log without it, {uninstall} the product's
// registered UninstallString as a run starts, {short:PATH} the path's short (8.3) form.
//
// Before the runs ("arrange"): "file:PATH=TEXT", "folder:PATH", "readonly:PATH", "version:NAME"
// (Windows version Wine reports to setup.exe), "env:NAME=VALUE", "dll:NAME=ENVVAR" (a system
// library replaced by a fixture), "regdel:KEY|NAME", "sz:KEY|NAME=TEXT", "dword:KEY|NAME=NUMBER"
// (registry values, taken back afterwards), "copy:PATH=ENVVAR" (a fixture file put there),
// "hold:PATH" (a file held open without delete sharing while the case runs),
// "event:NAME" (a named event held open), "delete:PATH", "copysetup:FOLDER" (a copy of setup.exe
// put there), "service:NAME=IMAGE" (a service that exists already), "device:HARDWAREID" (a
// registered root device that lists it), "installed" (a complete installation first).
//
// After the runs ("expect"): "exists:PATH", "absent:PATH", "content:PATH=TEXT",
// "contains:PATH=TEXT", "same:PATH=PATH" (equal files), "files:FOLDER=a,b", "lastline:PATH=TEXT",
// "key:PATH", "nokey:PATH", "value:KEY|NAME=DATA", "journal:LINE;LINE", "log:TEXT",
// "nolog:TEXT", "lastlog:TEXT" (the newest trace log's last line), "undo:LINE;LINE" (the
// "Deleted" lines of the trace logs), "logs:N" (trace logs left in the temporary folder),
// "link:PATH=TARGET|ARGUMENTS|FOLDER|DESCRIPTION", "service:NAME=running|stopped",
// "noservice:NAME", "devices:HARDWAREID=N" (present devices that list it), "pending:TEXT" /
// "nopending:TEXT" (queued for deletion at the restart), "notemp:" (no program copy or batch file
// left in the temporary folder), "secondary:CODE" (the secondary uninstaller's exit code),
// "process:NAME" (a process of that name ran), "unchanged:PATTERN;..." (the machine as before the
// runs but for changes that match a pattern, Wine's own and what the design leaves on purpose).
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>
#include "machine.h"
#include "robot.h"

namespace e2e {

const int kKilled = -1;   // the exit code of a run the case ends with "kill"

struct Run {
    std::string program;              // "" = {product}\setup.exe
    std::string arguments;            // "=LINE": the whole command line as it stands, the program named apart
    std::vector<std::string> windows;
    int exitCode;
    std::string folder;               // the current directory; "" = the program's own folder
};

struct Case {
    std::string name;
    std::string script;               // setup.ini beside setup.exe; "" for none
    std::vector<std::string> arrange;
    std::vector<Run> runs;
    std::vector<std::string> expect;
    std::function<void()> check;      // anything the facts cannot say
};

// The list and then the more.
std::vector<std::string> With(std::vector<std::string> list, const std::vector<std::string> &more);

// A setup.ini with the usual keys for the product, then the extra lines.
std::string Script(const std::string &appName, const std::string &extra = "");

// Runs the case and records a failure for each window, exit code or fact that differs.
void RunCase(const Case &c);

// The folders the placeholders name, for the cases' own checks.
std::string CommonProgramsFolder();

}  // namespace e2e
