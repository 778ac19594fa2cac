// setup.ini read into the SetupScript, and the variables and path joining every path goes through.
#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "script/script_reader.h"
#include "script/setup_script.h"
#include "script/variables.h"
#include "support/memory.h"
#include "support/runstate.h"

namespace {

class Variables : public ::testing::Test {
protected:
    void SetUp() override
    {
        SystemFolders.WindowsDir = StrDup("C:\\windows");
        SystemFolders.ProgramFilesDir = StrDup("C:\\Program Files");
        SystemFolders.LocalProgramsFolder = StrDup("C:\\Local");
        SystemFolders.CommonProgramsFolder = StrDup("C:\\Common");
        Script.AppName = StrDup("Demo");
    }
    // The result; "(overflow)" when anything was written past the MAX_PATH destination, and
    // "(too long)" for a refused one, which must leave the destination empty.
    static std::string Checked(bool fits, const char *destination)
    {
        for (size_t i = MAX_PATH; i < MAX_PATH + 8; i++)
            if (destination[i] != '#')
                return "(overflow)";
        if (!fits)
            return destination[0] == '\0' ? "(too long)" : "(too long, but not empty)";
        return destination;
    }
    static std::string Expand(const std::string &source)
    {
        char destination[MAX_PATH + 8];
        memset(destination, '#', sizeof destination);
        bool fits = ExpandVariables(destination, source.c_str());
        return Checked(fits, destination);
    }
    static std::string Join(const std::string &folder, const std::string &name)
    {
        char destination[MAX_PATH + 8];
        memset(destination, '#', sizeof destination);
        bool fits = JoinPath(destination, folder.c_str(), name.c_str());
        return Checked(fits, destination);
    }
    LogCapture log_;
};

TEST_F(Variables, TableNamesThenTheEnvironmentWithinOnePath)
{
    EXPECT_EQ(Expand("%InstallDir%\\bin"), "\\bin") << "not known yet: nothing";
    ::Run.InstallDir = StrDup(("C:\\" + std::string(200, 'd')).c_str());
    SetEnvironmentVariableA("installdir", "E:\\env");
    SetEnvironmentVariableA("SETUP_TEST_VARIABLE", "%AppName%");
    const std::string name51(51, 'N');
    const std::string cases[][2] = {
        { "%InstallDir%\\bin", ::Run.InstallDir + std::string("\\bin") },
        { "%installdir%\\bin", "E:\\env\\bin" },                  // the table is case-sensitive
        { "%%AppName%", "%Demo" }, { "100%", "100%" }, { "%%", "%%" },
        { "%WindowsDir%;%ProgramFilesDir%;%LocalProgramsFolder%;%CommonProgramsFolder%",
          "C:\\windows;C:\\Program Files;C:\\Local;C:\\Common" },
        { "%UnknownThing%\\x", "%UnknownThing%\\x" },
        { "%" + name51 + "%AppName%", "%" + name51 + "Demo" },   // a name over 50 characters is text
        { "%SETUP_TEST_VARIABLE%", "%AppName%" },                 // the environment comes after the table
        { "%InstallDir%\\" + std::string(55, 'y'), ::Run.InstallDir + ("\\" + std::string(55, 'y')) },   // 259
        { "%InstallDir%\\" + std::string(56, 'x'), "(too long)" },  // 260: never a cut path
        { "%InstallDir%%InstallDir%%InstallDir%", "(too long)" },   // past the 512-byte intermediate text
    };
    for (const auto &c : cases)
        EXPECT_EQ(Expand(c[0]), c[1]) << c[0];
    SetEnvironmentVariableA("installdir", NULL);
    SetEnvironmentVariableA("SETUP_TEST_VARIABLE", NULL);
    EXPECT_TRUE(Matches("*Path does not fit in 259 characters: \"C:\\ddd*...\"", log_.Lines().back())) << log_.Lines().back();
}

TEST_F(Variables, JoinPath)
{
    const std::string folder247 = "C:\\" + std::string(244, 'f');
    const std::string cases[][3] = {
        { "C:\\Demo", "file.txt", "C:\\Demo\\file.txt" }, { "C:\\Demo\\", "file.txt", "C:\\Demo\\file.txt" },
        { "C:\\Demo", "D:\\abs.txt", "D:\\abs.txt" }, { "C:\\Demo", "\\\\server\\share\\f", "\\\\server\\share\\f" },
        { "C:\\Demo", "%WindowsDir%\\x", "C:\\Demo\\C:\\windows\\x" },   // absolute only as written
        { "C:\\Demo", "", "C:\\Demo\\" }, { "", "name", "name" },
        { "%ProgramFilesDir%\\%AppName%", "sub\\f", "C:\\Program Files\\Demo\\sub\\f" },
        { folder247, "12345678901", folder247 + "\\12345678901" }, { folder247, "123456789012", "(too long)" },
        { "C:\\" + std::string(300, 'g'), "short", "(too long)" },   // never the name alone
    };
    for (const auto &c : cases)
        EXPECT_EQ(Join(c[0], c[1]), c[2]) << c[0] << " + " << c[1];
}

const char kGoodMain[] = "[Main]\r\nAppName=Demo\r\nAppVersion=1.0\r\nDefaultProgramGroup=Demo Group\r\n"
                         "DefaultInstallDir=%ProgramFilesDir%\\%AppName%\r\nStartMenuFolder=%CommonProgramsFolder%\r\n";

class ScriptReader : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::Run.IsNT = true;
        ::Run.SystemInfo.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
        ASSERT_TRUE(ResolveSystemFolders());
        ::Run.SourceDir = StrDup(log_.Folder().c_str());
    }
    // Reads the script from a fresh SetupScript; the one box it showed, or "" when it was read.
    std::string Read(const std::string &content)
    {
        Script = SetupScript();
        AllocateEntryLists();
        WriteTextFile(log_.Folder() + "\\setup.ini", content);
        int boxesBefore = log_.BoxCount();
        bool ok = ReadSetupScript();
        EXPECT_EQ(log_.BoxCount() - boxesBefore, ok ? 0 : 1);
        return ok ? "" : log_.LastBoxText();
    }
    LogCapture log_;
};

// The checker's tests hold the refusals (missing keys, duplicates, too many entries); here what
// is read.
TEST_F(ScriptReader, TheDecoratedTwinAndValuesTooLongOnceExpanded)
{
    std::string emptyVersion = kGoodMain;
    emptyVersion.replace(emptyVersion.find("1.0"), 3, "");
    EXPECT_EQ(Read(emptyVersion + "HelpFile=help.txt\r\n[Main.NTamd64]\r\nAppVersion=2.0\r\nHelpFile=\r\n"), "");
    EXPECT_STREQ(Script.AppVersion, "2.0") << "an empty value is no duplicate";
    EXPECT_STREQ(Script.HelpFile, "help.txt");
    EXPECT_STREQ(Script.DefaultInstallDir, (std::string(SystemFolders.ProgramFilesDir) + "\\Demo").c_str())
        << "[Main] values are expanded as they are read";
    // A value whose variables make it too long is named as such, not taken as missing.
    EXPECT_EQ(Read(std::string(kGoodMain) + "ReadmeFile=%CommonProgramsFolder%\\%CommonProgramsFolder%\\" + std::string(180, 'r') + "\r\n"),
              "Key ReadmeFile is too long once its variables are expanded (0/206 - File name is too long.)");
}

// setup.ini is read once and converted; a letter this Windows' code page lacks is named with its
// line and key before anything is installed. ServiceImage waits for the installation folder.
TEST_F(ScriptReader, ConvertedOnceAndServiceImageExpandedWhenUsed)
{
    EXPECT_EQ(Read(std::string(kGoodMain) + "ServiceImage=%InstallDir%\\svc.exe\r\nReadmeFile=Read M\xC3\xBC\r\n"), "");
    EXPECT_STREQ(Script.ServiceImage, "%InstallDir%\\svc.exe");
    EXPECT_STREQ(Script.ReadmeFile, "Read M\xFC") << "UTF-8 without a byte-order mark";
    EXPECT_TRUE(Matches("Cannot read line 7 of \"*\\setup.ini\", key ReadmeFile: it holds a letter this Windows' code page 1252 "
                        "lacks (0/1113 - *)", Read(std::string(kGoodMain) + "ReadmeFile=\xE3\x82\xBD\r\n")))
        << log_.LastBoxText();
}

TEST_F(ScriptReader, EntriesSplitAtTheFirstCommaAndLongNamesAllRead)
{
    std::string text = std::string(kGoodMain) + "[Files]\r\ndemo.exe=%InstallDir%\r\ndriver.sys=%WindowsDir%, drivers\r\n"
                       "[Links]\r\nReadme=%InstallDir%\\readme.txt  ,  -x, -y \r\n[Links.NTamd64]\r\nTool=%InstallDir%\\t.exe,\r\n";
    ASSERT_EQ(Read(text), "");
    std::string entries;   // each "name|path|extra;", paths expanded where they are used
    for (UINT i = 0; i < Script.FileCount + Script.LinkCount; i++) {
        const ScriptEntry &entry = i < Script.FileCount ? Script.FileList[i] : Script.LinkList[i - Script.FileCount];
        entries += std::string(entry.Name) + "|" + entry.Path + "|" + entry.Extra + ";";
    }
    EXPECT_EQ(entries, "demo.exe|%InstallDir%|;driver.sys|%WindowsDir%|drivers;Readme|%InstallDir%\\readme.txt  |-x, -y;"
                       "Tool|%InstallDir%\\t.exe|;");
    text = std::string(kGoodMain) + "[Files]\r\n";
    for (int i = 0; i < 50; i++)
        text += std::string(70, 'k') + std::to_string(100 + i) + ".dat=%InstallDir%\r\n";
    ASSERT_EQ(Read(text), "");
    EXPECT_EQ(std::string(Script.FileList[49].Name), std::string(70, 'k') + "149.dat") << "past 50 bytes a name";
}

}  // namespace
