#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <string>
#include "../common/log_capture.h"
#include "install/folders.h"
#include "support/runstate.h"
#include "support/memory.h"
#include "system/journal_recorder.h"

namespace {

class Folders : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(NULL);
        JournalForgetSince(0);
    }
    void TearDown() override
    {
        JournalForgetSince(0);
    }
    static std::string Recorded() { return JournalText() != NULL ? JournalText() : ""; }
    LogCapture log_;
};

TEST_F(Folders, MakeFolderRecordsWhatItCreated)
{
    std::string folder = log_.Folder() + "\\Product";
    EXPECT_EQ(MakeFolder(folder.c_str()), 0u);
    EXPECT_EQ(Recorded(), "CreateDir \"" + folder + "\"\r\n");
    EXPECT_EQ(log_.Lines().back().substr(19), "Created directory \"" + folder + "\"");

    EXPECT_EQ(MakeFolder(folder.c_str()), kStatusFailed) << "a normal user cannot take over a folder";
    EXPECT_EQ(log_.LastBoxText(), "Directory \"" + folder + "\" already exists");

    std::string orphan = log_.Folder() + "\\no-parent\\Product";
    EXPECT_EQ(MakeFolder(orphan.c_str()), kStatusFailed);
    EXPECT_EQ(log_.LastBoxText().rfind("Cannot create directory \"" + orphan + "\" (0/3 - ", 0), 0u) << log_.LastBoxText();
    EXPECT_EQ(Recorded(), "CreateDir \"" + folder + "\"\r\n") << "nothing recorded for what was not made";
}

TEST_F(Folders, ShellLinkHoldsTargetArgumentsFolderAndDescription)
{
    std::string target = log_.Folder() + "\\setup.exe";
    ASSERT_TRUE(CreateShellLink(log_.Folder().c_str(), "Uninstall %AppName%", target.c_str(), "-u"));
    std::string link = log_.Folder() + "\\Uninstall .lnk";   // AppName is not known here
    EXPECT_EQ(Recorded(), "CreateFile \"" + link + "\"\r\n");

    IShellLinkA *shellLink = NULL;
    IPersistFile *file = NULL;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&shellLink)));
    ASSERT_TRUE(SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, (void **)&file)));
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
    ASSERT_TRUE(SUCCEEDED(file->Load(wide, STGM_READ)));
    char text[MAX_PATH];
    shellLink->GetArguments(text, MAX_PATH);
    EXPECT_STREQ(text, "-u");
    shellLink->GetWorkingDirectory(text, MAX_PATH);
    EXPECT_EQ(std::string(text), log_.Folder());
    shellLink->GetDescription(text, MAX_PATH);
    EXPECT_STREQ(text, "Uninstall %AppName%");
    shellLink->GetPath(text, MAX_PATH, NULL, SLGP_RAWPATH);
    EXPECT_STRCASEEQ(text, target.c_str());
    file->Release();
    shellLink->Release();
}

}  // namespace
