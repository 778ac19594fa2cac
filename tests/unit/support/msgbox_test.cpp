#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/memory.h"

namespace {

TEST(BoxCaption, SetupUntilTheProductIsKnown)
{
    LogCapture log;
    char *productName = NULL;
    char caption[kCaptionSize];
    BoxCaption(caption);
    EXPECT_STREQ(caption, "Setup");
    SetBoxProductName(&productName);
    BoxCaption(caption);
    EXPECT_STREQ(caption, "Setup");
    productName = StrDup("Demo Audio");
    BoxCaption(caption);
    EXPECT_STREQ(caption, "Demo Audio installation");
    ::Run.InstallMode = false;
    BoxCaption(caption);
    EXPECT_STREQ(caption, "Demo Audio uninstallation");
}

TEST(BoxCaption, LongNameIsCutToKeepTheMode)
{
    LogCapture log;
    char caption[kCaptionSize + 16];
    memset(caption, '#', sizeof caption);
    std::string name(255, 'n');
    char *productName = StrDup(name.c_str());
    SetBoxProductName(&productName);
    BoxCaption(caption);
    std::string text = caption;
    EXPECT_EQ(text.size(), kCaptionSize - 1);
    EXPECT_EQ(text.substr(text.size() - 13), " installation");
    for (size_t i = kCaptionSize; i < sizeof caption; i++)
        EXPECT_EQ(caption[i], '#');
}

TEST(MsgBox, LoggedOnOneLineAtTheIconsLevel)
{
    LogCapture log;
    struct Case { UINT flags; char separator; };
    const Case cases[] = {
        { MB_ICONHAND, '*' },
        { MB_ICONEXCLAMATION, '*' },
        { MB_ICONEXCLAMATION | MB_YESNO, '*' },
        { MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2, ' ' },
        { MB_ICONINFORMATION, ' ' },
        { 0, ' ' },
    };
    for (const Case &c : cases) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        MsgBox(c.flags, "%s %s will be installed on your computer.\nDo you want to continue?", "Demo", "1.0");
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND) << c.flags;
        std::string line = log.Lines().back();
        EXPECT_EQ(line[8], c.separator) << c.flags;
        EXPECT_EQ(line.substr(17), std::string(2, c.separator == '*' ? '*' : ' ') +
                  "MessageBox: Demo 1.0 will be installed on your computer. Do you want to continue?");
    }
    ErrorBox("Cannot open file \"%s\" (%s)", "C:\\x\\setup.ini", "0/2 - gone");
    WarningBox("warned");
    std::vector<std::string> lines = log.Lines();
    EXPECT_EQ(lines[lines.size() - 2].substr(8), "*" + lines[lines.size() - 2].substr(9, 8) +
              "**MessageBox: Cannot open file \"C:\\x\\setup.ini\" (0/2 - gone)");
    EXPECT_EQ(lines.back().substr(17), "**MessageBox: warned");
}

}  // namespace
