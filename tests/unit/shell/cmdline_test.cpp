#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "shell/cmdline.h"
#include "support/runstate.h"

namespace {

TEST(StripProgramName, QuotedPlainAndBlankFirst)
{
    struct Case { const char *commandLine; const char *tail; };
    const Case cases[] = {
        { "\"C:\\Program Files\\Demo\\setup.exe\" -u", "-u" },
        { "\"C:\\Demo\\setup.exe\"", "" },
        { "\"C:\\Demo\\setup.exe\"   -c", "-c" },
        { "setup.exe -u -p 1", "-u -p 1" },
        { "setup.exe", "" },
        { "setup.exe \t -u", "-u" },
        { " -u -p 000004D2 -d \"C:\\Demo\"", "-u -p 000004D2 -d \"C:\\Demo\"" },   // empty program name
        { "\"C:\\no closing quote -u", "" },
    };
    for (const Case &c : cases)
        EXPECT_STREQ(StripProgramName(c.commandLine), c.tail) << c.commandLine;
}

struct ParseCase {
    const char *tail;
    const char *box;        // the one error box, or null when accepted
    bool installMode;
    bool fromCurrentDir;
    DWORD pid;
    const char *installDir;
};

const std::string kLongFolder(300, 'f');
const std::string kLongSwitch = "-u -p 1 -d \"" + kLongFolder + "\"";
const std::string kLongBox = "Error in command line: \"\"" + kLongFolder + "\"\"";

const ParseCase kParseCases[] = {
    { "", NULL, true, false, 0, NULL },
    { "-c", NULL, true, true, 0, NULL },
    { "-u", NULL, false, false, 0, NULL },
    { "-u -p 000004D2 -d \"C:\\Program Files\\Demo\"", NULL, false, false, 0x4D2, "C:\\Program Files\\Demo" },
    { "-d \"C:\\x\" -p 4d2 -u", NULL, false, false, 0x4D2, "C:\\x" },
    { "-u -p1 -dC:\\x", NULL, false, false, 1, "C:\\x" },
    { "-u -d \"C:\\a\" -p 1 -d \"C:\\b\"", NULL, false, false, 1, "C:\\b" },   // the last -d wins
    { "-u -p 1 -p", NULL, false, false, 0, NULL },                            // ... and the last -p
    { "-p", NULL, true, false, 0, NULL },                                     // no digits: no -p
    { "-u -c -u", "Command line switches mismatch", false, true, 0, NULL },
    { "-p 10", "Command line switches mismatch", true, false, 0x10, NULL },
    { "-d C:\\x", "Command line switches mismatch", true, false, 0, NULL },
    { "-c -u", "Command line switches mismatch", false, true, 0, NULL },
    { "-u -d \"C:\\x\"", "Command line switches mismatch", false, false, 0, NULL },
    { "-u -p 5", "Command line switches mismatch", false, false, 5, NULL },
    { "-u -p 5 -d \"\"", "Command line switches mismatch", false, false, 5, NULL },
    { "-u -p 5 -d", "Command line switches mismatch", false, false, 5, NULL },
    { "-x", "Invalid command line switch \"x\"", true, false, 0, NULL },
    { "-U", "Invalid command line switch \"U\"", true, false, 0, NULL },
    { "-u -x", "Invalid command line switch \"x\"", false, false, 0, NULL },
    { "install now", "Error in command line: \"install now\"", true, false, 0, NULL },
    { "-c now", "Error in command line: \"now\"", true, true, 0, NULL },
    { "-cu", "Error in command line: \"u\"", true, true, 0, NULL },
    { "-u -p 1 -d \"C:\\x", "Error in command line: \"\"C:\\x\"", false, false, 1, NULL },
    { kLongSwitch.c_str(), kLongBox.c_str(), false, false, 1, NULL },
};

TEST(ParseCommandLine, AcceptsTheThreeRolesAndRejectsTheRest)
{
    for (const ParseCase &c : kParseCases) {
        LogCapture log;
        ::Run.CommandLineTail = c.tail;
        bool accepted = ParseCommandLine();
        SCOPED_TRACE(c.tail);
        EXPECT_EQ(accepted, c.box == NULL);
        EXPECT_EQ(log.BoxCount(), c.box == NULL ? 0 : 1);
        if (c.box != NULL) {
            EXPECT_EQ(log.LastBoxText(), c.box);
        }
        EXPECT_EQ(::Run.InstallMode, c.installMode);
        EXPECT_EQ(::Run.SourceFromCurrentDir, c.fromCurrentDir);
        EXPECT_EQ(::Run.PrimaryPid, c.pid);
        if (c.installDir == NULL) {
            EXPECT_EQ(::Run.InstallDir, nullptr);
        } else {
            EXPECT_STREQ(::Run.InstallDir, c.installDir);
        }
    }
}

}  // namespace
