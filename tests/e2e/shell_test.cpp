// The spine and the script as a user meets them: rejected command lines, the version gate, the
// final report with its trace log, start-up failures with their exit codes, and setup.ini refused.
#include <gtest/gtest.h>
#include "runner.h"

namespace {

using e2e::Case;
using e2e::Script;

const char kAbortedKeepNo[] = "Setup|error|Installation aborted.{keep}|Yes,[No]>No";

Case Rejected(const char *arguments, const char *box, const char *report)
{
    return { arguments, "", {},
             { { "", arguments, { std::string("Setup|error|") + box + "|[OK]", std::string("Setup|error|") + report + "|[OK]" }, 1 } },
             { "logs:0", "files:{product}=setup.exe" } };
}

const Case kCommandLines[] = {
    Rejected("-x", "Invalid command line switch \"x\"", "Installation aborted."),
    Rejected("now please", "Error in command line: \"now please\"", "Installation aborted."),
    Rejected("-p 10", "Command line switches mismatch", "Installation aborted."),
    Rejected("-c -u", "Command line switches mismatch", "Uninstallation (first phase) aborted."),
    Rejected("-u -d C:\\e2e", "Command line switches mismatch", "Uninstallation (first phase) aborted."),
    Rejected("-u -x", "Invalid command line switch \"x\"", "Uninstallation (first phase) aborted."),
    Rejected("-u -p 4D2 -X", "Invalid command line switch \"X\"", "Uninstallation aborted."),
};

TEST(CommandLine, EveryRejectionShowsOneBoxAndLeavesNoLog)
{
    for (const Case &c : kCommandLines)
        e2e::RunCase(c);
}

// Windows hands a program started from an unquoted line (an UninstallString) the line as it
// stands: the program finds its own name in it, however it is written.
Case Verbatim(const std::string &line)
{
    const std::string folder = "C:\\e2e\\long folder\\with blank";
    return { line, "", { "folder:C:\\e2e\\long folder", "copysetup:" + folder },
             { { folder + "\\setup.exe", "=" + line, { "Setup|error|Invalid command line switch \"x\"|[OK]",
                                                          "Setup|error|Installation aborted.|[OK]" }, 1 } },
             { "logs:0" } };
}

const Case kOwnNames[] = {
    Verbatim("C:\\e2e\\long folder\\with blank\\setup.exe -x"),
    Verbatim("C:\\e2e\\long folder\\with blank\\setup -x"),
    Verbatim("{short:C:\\e2e\\long folder}\\with blank\\setup -x"),
};

TEST(CommandLine, TheProgramFindsItsOwnNameHoweverWindowsWritesIt)
{
    for (const Case &c : kOwnNames)
        e2e::RunCase(c);
}

const char kGate[] = "Setup|error|Supporting only Windows 98 and later OSes|[OK]";

const Case kStartUps[] = {
    { "NT 4 is refused, the log offered and deleted", "", { "version:nt40" },
      { { "", "", { kGate, kAbortedKeepNo }, 1 } },
      { "logs:0", "log:Marrowgate 1.5.5.266 (64-bit)", "log:System: Arch=9 CPU=* ProcRev=* NumProcs=* ProcMask=*",
        "log:OS version: 4.0.* SP *.*, SPname=\"*\", PID=2, SM=*, PT=*",
        "log:MessageBox: Supporting only Windows 98 and later OSes", "log:Installation aborted." } },
    { "a kept log is shown in NotePad", "", { "version:nt40" },
      { { "", "", { kGate, "Setup|error|Installation aborted.{keep}|Yes,[No]>Yes", "*brindlework_setup_log_*|window||close" }, 1 } },
      { "logs:1" } },
    // The manifest names Windows 10 and 11: without it Windows 8.1 and later report 6.2.
    { "Windows 10 reports its own version", "", { "version:win10" },
      { { "", "", { "Setup|error|Cannot open file \"{product}\\setup.ini\" (0/2 - File not found.)|[OK]", kAbortedKeepNo }, 1 } },
      { "log:OS version: 10.0.*PID=2,*" } },
    { "Windows 98 passes the gate and looks for its script", "", { "version:win98" },
      { { "", "", { "Setup|error|Cannot open file \"{product}\\setup.ini\" (0/2 - File not found.)|[OK]", kAbortedKeepNo }, 1 } },
      { "log:OS version: 4.10.*PID=1,*" } },
    // Every line reaches the disk before the next step: the box's line is there while it shows.
    { "killed while a box is open", "", { "version:nt40" },
      { { "", "", { "Setup|error|Supporting only Windows 98 and later OSes|kill" }, e2e::kKilled } },
      { "lastlog:MessageBox: Supporting only Windows 98 and later OSes" } },
    { "a trace log that cannot be created", "", { "env:TMP=C:\\no-such-folder", "env:TEMP=C:\\no-such-folder" },
      { { "", "", { "Setup|error|Cannot create trace log file \"C:\\no-such-folder\\brindlework_setup_log_*.tmp\" (0/3 - *)|[OK]",
                    "Setup|error|Installation aborted.|[OK]" }, 1 } },
      { "absent:C:\\no-such-folder" } },
    { "a setup API without one of its procedures", "", { "dll:setupapi.dll=SETUPAPI_PARTIAL_DLL" },
      { { "", "", { "Setup|error|Cannot get addr of SetupDiGetINFClassA (0/127 - *)|[OK]" }, 2 } },
      { "logs:0" } },
    { "a setup API that cannot be loaded", "", { "dll:setupapi.dll=SETUPAPI_REFUSING_DLL" },
      { { "", "", {}, 2 } }, { "logs:0" } },
    { "ProgramFilesDir that cannot be read", Script("Demo Audio"),
      { "regdel:HKLM\\Software\\Microsoft\\Windows\\CurrentVersion|ProgramFilesDir" },
      { { "", "", { "Setup|error|Cannot query registry value \"Software\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir\" (0/2 - *)|[OK]",
                    kAbortedKeepNo }, 1 } },
      { "logs:0" } },
};

TEST(StartUp, GateReportLogAndExitCodes)
{
    for (const Case &c : kStartUps)
        e2e::RunCase(c);
}

const char kNoVersion[] = "[Main]\r\nAppName=Demo Audio\r\nDefaultProgramGroup=Demo Audio\r\n"
                          "DefaultInstallDir=%ProgramFilesDir%\\%AppName%\r\nStartMenuFolder=%CommonProgramsFolder%\r\n";
const char kAbortedAsDemo[] = "Demo Audio installation|error|Installation aborted.{keep}|Yes,[No]>No";

Case Refused(const char *name, const std::string &script, const char *box, const char *version = NULL)
{
    Case c = { name, script, {}, { { "", "", { std::string("~|error|") + box + "|[OK]", kAbortedAsDemo }, 1 } },
               { "logs:0", "absent:{dir}" } };
    if (version != NULL)
        c.arrange.push_back(std::string("version:") + version);
    return c;
}

Case Accepted(const char *name, const std::string &script)
{
    return { name, script, {},
             { { "", "", { "~|question|Demo Audio 1.0 will be installed on your computer.\nDo you want to continue?|Yes,[No]>No" }, 0 } },
             { "logs:0" } };
}

const char kDriver[] = "DeviceName=D\r\nMmeDriverModule=demo.drv\r\nMmeDriverCategories=wave\r\n";
const char kServicePart[] = "ServiceName=demo\r\nServiceImage=demo.exe\r\n";

const Case kScripts[] = {
    Refused("missing version, named by its product", kNoVersion, "Key AppVersion must be present"),
    { "missing script, before the product is known", "", {},
      { { "", "", { "Setup|error|Cannot open file \"{product}\\setup.ini\" (0/2 - *)|[OK]", kAbortedKeepNo }, 1 } },
      { "logs:0" } },
    { "-c takes the script from the current folder", "",
      { "folder:C:\\e2e\\current", std::string("file:C:\\e2e\\current\\setup.ini=") + kNoVersion },
      { { "", "-c", { "Demo Audio installation|error|Key AppVersion must be present|[OK]", kAbortedAsDemo }, 1, "C:\\e2e\\current" } },
      { "logs:0" } },
    Refused("a device name alone", Script("Demo Audio", "DeviceName=Demo Device\r\n"), "Device description keys mismatch"),
    Refused("a device without its INF", Script("Demo Audio", "DeviceName=D\r\nDeviceHardwareId=ROOT\\DEMO\r\n"),
            "Device description keys mismatch"),
    Accepted("a legacy driver on NT", Script("Demo Audio", kDriver)),
    Refused("a legacy driver on Windows 98", Script("Demo Audio", kDriver), "Device description keys mismatch", "win98"),
    Refused("a service on Windows 98", Script("Demo Audio", "ServiceName=demo\r\n"), "Services are supported under NT systems only", "win98"),
    Refused("an empty service type", Script("Demo Audio", std::string(kServicePart) + "ServiceType=\r\nServiceStartup=3\r\n"),
            "Service description is incomplete"),
    Refused("service type 0", Script("Demo Audio", std::string(kServicePart) + "ServiceType=0\r\nServiceStartup=3\r\n"),
            "Invalid service type 0"),
    Refused("a service type in words", Script("Demo Audio", std::string(kServicePart) + "ServiceType=own\r\nServiceStartup=3\r\n"),
            "Invalid service type own"),
    Refused("a start type in words", Script("Demo Audio", std::string(kServicePart) + "ServiceType=16\r\nServiceStartup=auto\r\n"),
            "Invalid service startup auto"),
    Accepted("digits then words, and start type 0", Script("Demo Audio", std::string(kServicePart) + "ServiceType=16 own\r\nServiceStartup=0\r\n")),
};

TEST(SetupScript, RefusedBeforeAnyQuestionOrAccepted)
{
    for (const Case &c : kScripts)
        e2e::RunCase(c);
}

}  // namespace
