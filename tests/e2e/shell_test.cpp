// The spine and the script as a user meets them: rejected command lines and the report each mode
// gives, the program's own name in any command line Windows hands it, the version gate, the
// final report with its trace log, start-up failures with their exit codes, and setup.ini refused.
#include <gtest/gtest.h>
#include "runner.h"

namespace {

using namespace e2e;

const char kAbortedKeepNo[] = "Setup|error|Installation aborted.{keep}|Yes,[No]>No";

const std::string kBlankFolder = "C:\\e2e\\long folder\\with blank";
const std::vector<std::string> kCopyInBlankFolder = { "folder:C:\\e2e\\long folder", "folder:" + kBlankFolder,
                                                      "copy:" + kBlankFolder + "\\setup.exe=SETUP_EXE" };

// One box, then the report of the mode that was read so far; no trace log exists yet.
Case Rejected(const std::string &name, const std::string &arguments, const char *box, const char *report)
{
    bool verbatim = arguments[0] == '=';
    return { name, "", verbatim ? kCopyInBlankFolder : std::vector<std::string>{},
             { { verbatim ? kBlankFolder + "\\setup.exe" : "", arguments,
                 { std::string("Setup|error|") + box + "|[OK]", std::string("Setup|error|") + report + "|[OK]" }, 1 } },
             { "logs:0" } };
}

const char kSwitchX[] = "Invalid command line switch \"x\"";

const Case kCommandLines[] = {
    Rejected("a word", "now please", "Error in command line: \"now please\"", "Installation aborted."),
    Rejected("install and uninstall", "-c -u", "Command line switches mismatch", "Uninstallation (first phase) aborted."),
    Rejected("a secondary's bad switch", "-u -p 4D2 -X", "Invalid command line switch \"X\"", "Uninstallation aborted."),
    // Windows hands a program started from an unquoted line (an UninstallString) the line as it
    // stands: the program finds its own name in it, however it is written.
    Rejected("unquoted with blanks", "=C:\\e2e\\long folder\\with blank\\setup.exe -x", kSwitchX, "Installation aborted."),
    Rejected("unquoted without exe", "=C:\\e2e\\long folder\\with blank\\setup -x", kSwitchX, "Installation aborted."),
    Rejected("short and long mixed", "={short:C:\\e2e\\long folder}\\with blank\\setup -x", kSwitchX, "Installation aborted."),
};

class CommandLine : public e2e::CaseTest {};
TEST_P(CommandLine, RejectedWithOneBox) { e2e::RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Rows, CommandLine, ::testing::ValuesIn(kCommandLines), e2e::CaseName);

const char kGate[] = "Setup|error|Supporting only Windows 98 and later OSes|[OK]";
const char kNoScript[] = "Setup|error|Cannot open file \"{product}\\setup.ini\" (0/2 - File not found.)|[OK]";

const Case kStartUps[] = {
    { "NT 4 is refused, the log offered and deleted", "", { "version:nt40" },
      { { "", "", { kGate, "Setup|error|Installation aborted.\n\nA trace log is saved to \"{temp}\\brindlework_setup_log_*.tmp\"\n"
                           "It may help you to determine a cause of the problem.\nYou can send it to the author with an error "
                           "report.\nIf you don't need a log, it will be deleted.\n\nKeep the trace log file?|Yes,[No]>No" }, 1 } },
      { "logs:0", "log:Marrowgate 1.5.5.266 (64-bit)", "log:System: Arch=9 CPU=* ProcRev=* NumProcs=* ProcMask=*",
        "log:OS version: 4.0.* SP *.*, SPname=\"*\", PID=2, SM=*, PT=*", "log:Installation aborted." } },
    { "a kept log is shown in NotePad", "", { "version:nt40" },
      { { "", "", { kGate, "Setup|error|Installation aborted.{keep}|Yes,[No]>Yes", "*brindlework_setup_log_*|window||close" }, 1 } },
      { "logs:1" } },
    // The manifest names Windows 10 and 11: without it Windows 8.1 and later report 6.2.
    { "Windows 10 reports its own version", "", { "version:win10" }, { { "", "", { kNoScript, kAbortedKeepNo }, 1 } },
      { "log:OS version: 10.0.*PID=2,*" } },
    { "Windows 98 passes the gate and looks for its script", "", { "version:win98" }, { { "", "", { kNoScript, kAbortedKeepNo }, 1 } },
      { "log:OS version: 4.10.*PID=1,*" } },
    // Every line reaches the disk before the next step: the box's line is there while it shows.
    { "killed while a box is open", "", { "version:nt40" },
      { { "", "", { "Setup|error|Supporting only Windows 98 and later OSes|kill" }, e2e::kKilled } }, {},
      [] {
          std::vector<std::string> lines = SplitLines(ReadFileText(TraceLogs().back()));
          EXPECT_TRUE(!lines.empty() && Matches("*MessageBox: Supporting only Windows 98 and later OSes", lines.back()));
      } },
    { "a trace log that cannot be created", "", { "env:TMP=C:\\no-such-folder", "env:TEMP=C:\\no-such-folder" },
      { { "", "", { "Setup|error|Cannot create trace log file \"C:\\no-such-folder\\brindlework_setup_log_*.tmp\" (0/3 - *)|[OK]",
                    "Setup|error|Installation aborted.|[OK]" }, 1 } },
      { "absent:C:\\no-such-folder" } },
    { "a setup API without one of its procedures", "", { "dll:setupapi.dll=SETUPAPI_PARTIAL_DLL" },
      { { "", "", { "Setup|error|Cannot get addr of SetupDiGetINFClassA (0/127 - *)|[OK]" }, 2 } }, { "logs:0" } },
    { "a setup API that cannot be loaded", "", { "dll:setupapi.dll=SETUPAPI_REFUSING_DLL" }, { { "", "", {}, 2 } }, { "logs:0" } },
    // -s is looked for first: neither the setup API's error nor the command line's shows a box.
    { "a silent run without the setup API's procedure", "", { "dll:setupapi.dll=SETUPAPI_PARTIAL_DLL" }, { { "", "-s", {}, 2 } },
      { "logs:0" } },
    { "a silent run with a wrong switch", Script("Demo Audio"), {}, { { "", "-s -x", {}, 1 } }, { "logs:0" } },
    // The device's status and the driver package's removal are bound where they are used: a
    // system without them installs and removes a product without a device.
    { "a setup API without the device status and the package removal", Script("Demo Audio", "[Files]\r\na.txt=%InstallDir%\r\n"),
      { "dll:setupapi.dll=SETUPAPI_STUBS_DLL", "file:{product}\\a.txt=a" },
      { { "", "", { kYesToInstall, kOptionsInstall, kInstallDone }, 0 },
        { "{dir}\\setup.exe", "-u", { kYesToUninstall, kUninstallDone }, 0 } },
      { "absent:{dir}", "logs:0" } },
    { "ProgramFilesDir that cannot be read", Script("Demo Audio"),
      { "regdel:HKLM\\Software\\Microsoft\\Windows\\CurrentVersion|ProgramFilesDir" },
      { { "", "", { "Setup|error|Cannot query registry value \"Software\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir\" (0/2 - *)|[OK]",
                    kAbortedKeepNo }, 1 } },
      { "logs:0" } },
};

class StartUp : public e2e::CaseTest {};
TEST_P(StartUp, GateReportLogAndExitCodes) { e2e::RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Rows, StartUp, ::testing::ValuesIn(kStartUps), e2e::CaseName);

const char kNoVersion[] = "[Main]\r\nAppName=Demo Audio\r\nDefaultProgramGroup=Demo Audio\r\n"
                          "DefaultInstallDir=%ProgramFilesDir%\\%AppName%\r\nStartMenuFolder=%CommonProgramsFolder%\r\n";
const char kAbortedAsDemo[] = "Demo Audio installation|error|Installation aborted.{keep}|Yes,[No]>No";

// The script's checks come before any question: the checker's tests hold every message; these
// rows show the user's side, with the product's caption.
const Case kScripts[] = {
    { "-c takes the script from the current folder", "",
      { "folder:C:\\e2e\\current", std::string("file:C:\\e2e\\current\\setup.ini=") + kNoVersion },
      { { "", "-c", { "Demo Audio installation|error|Key AppVersion must be present|[OK]", kAbortedAsDemo }, 1, "C:\\e2e\\current" } },
      { "logs:0", "absent:C:\\Program Files\\Demo Audio" } },
    { "digits then words, and start type 0", Script("Demo Audio", "DeviceName=D\r\nMmeDriverModule=demo.drv\r\nMmeDriverCategories=wave\r\nServiceName=demo\r\nServiceImage=demo.exe\r\n"
                                                                  "ServiceType=16 own\r\nServiceStartup=0\r\n"), {},
      { { "", "", { "~|question|Demo Audio 1.0 will be installed on your computer.\nDo you want to continue?|Yes,[No]>No" }, 0 } },
      { "logs:0" } },
};

class SetupScript : public e2e::CaseTest {};
TEST_P(SetupScript, RefusedBeforeAnyQuestionOrAccepted) { e2e::RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Rows, SetupScript, ::testing::ValuesIn(kScripts), e2e::CaseName);

}  // namespace
