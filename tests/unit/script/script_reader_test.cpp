#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "script/script_reader.h"
#include "script/setup_script.h"
#include "script/variables.h"
#include "support/runstate.h"
#include "support/memory.h"

namespace {

const char kGoodMain[] =
    "[Main]\r\n"
    "AppName=Demo\r\n"
    "AppVersion=1.0\r\n"
    "DefaultProgramGroup=Demo Group\r\n"
    "DefaultInstallDir=%ProgramFilesDir%\\%AppName%\r\n"
    "StartMenuFolder=%CommonProgramsFolder%\r\n";

class ScriptReader : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::Run.IsNT = true;
        ::Run.SystemInfo.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
        ASSERT_TRUE(ResolveSystemFolders());
        ::Run.SourceDir = StrDup(log_.Folder().c_str());
        AllocateEntryLists();
    }
    void Write(const std::string &content)
    {
        std::string path = log_.Folder() + "\\setup.ini";
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written;
        WriteFile(file, content.data(), (DWORD)content.size(), &written, NULL);
        CloseHandle(file);
    }
    static std::string Entries(const char *section, int count, const std::string &prefix = "f")
    {
        std::string text = std::string("[") + section + "]\r\n";
        for (int i = 0; i < count; i++)
            text += prefix + std::to_string(i) + ".dll=%InstallDir%\r\n";
        return text;
    }
    // Reads the script; the one box it showed (or "" for none).
    std::string Read(bool expectOk)
    {
        int boxesBefore = log_.BoxCount();
        bool ok = ReadSetupScript();
        EXPECT_EQ(ok, expectOk);
        int boxes = log_.BoxCount() - boxesBefore;
        EXPECT_EQ(boxes, expectOk ? 0 : 1);
        return boxes > 0 ? log_.LastBoxText() : "";
    }
    LogCapture log_;
};

TEST_F(ScriptReader, MissingFile)
{
    std::string box = Read(false);
    EXPECT_EQ(box.rfind("Cannot open file \"" + log_.Folder() + "\\setup.ini\" (0/2 - ", 0), 0u) << box;
}

TEST_F(ScriptReader, MainValuesAreExpandedWhenRead)
{
    Write(std::string(kGoodMain) + "LicenseFile=license.txt\r\nRegisterUninstaller=1\r\nUnknownKey=ignored\r\n");
    Read(true);
    EXPECT_STREQ(Script.AppName, "Demo");
    EXPECT_STREQ(Script.DefaultInstallDir, (std::string(SystemFolders.ProgramFilesDir) + "\\Demo").c_str());
    EXPECT_STREQ(Script.StartMenuFolder, SystemFolders.CommonProgramsFolder);
    EXPECT_STREQ(Script.LicenseFile, "license.txt");
    EXPECT_STREQ(Script.RegisterUninstaller, "1");
    EXPECT_EQ(Script.HelpFile, nullptr);
    EXPECT_EQ(Script.FileCount, 0u);
    EXPECT_EQ(Script.LinkCount, 0u);
    std::vector<std::string> lines = log_.Lines();
    size_t first = 0;
    while (first < lines.size() && lines[first].substr(19) != "AppName=\"Demo\"")
        first++;
    ASSERT_GE(lines.size(), first + 8);
    EXPECT_EQ(lines[first + 3].substr(19), "DefaultInstallDir=\"" + std::string(Script.DefaultInstallDir) + "\"");
    EXPECT_EQ(lines[first + 7].substr(19), "----") << "the values are logged in table order, then the rule";
}

TEST_F(ScriptReader, EveryRequiredKeyMissingOrEmpty)
{
    const char *required[] = { "AppName", "AppVersion", "DefaultProgramGroup", "DefaultInstallDir", "StartMenuFolder" };
    for (const char *key : required) {
        for (bool empty : { false, true }) {
            Script = SetupScript();
            AllocateEntryLists();
            std::string main = "[Main]\r\n";
            for (const char *other : required) {
                if (other != key)
                    main += std::string(other) + "=x\r\n";
                else if (empty)
                    main += std::string(other) + "=\r\n";
            }
            Write(main);
            EXPECT_EQ(Read(false), std::string("Key ") + key + " must be present") << key << (empty ? " empty" : " missing");
        }
    }
}

TEST_F(ScriptReader, DecoratedMainTwin)
{
    Write(std::string(kGoodMain) + "[Main.NTamd64]\r\nAppVersion=2.0\r\n");
    EXPECT_EQ(Read(false), "Duplicate key AppVersion");

    Script = SetupScript();
    AllocateEntryLists();
    std::string main = kGoodMain;
    main.replace(main.find("AppVersion=1.0"), 14, "AppVersion=");
    Write(main + "HelpFile=help.txt\r\n[Main.NTamd64]\r\nAppVersion=2.0\r\nHelpFile=\r\n");
    Read(true);
    EXPECT_STREQ(Script.AppVersion, "2.0");
    EXPECT_STREQ(Script.HelpFile, "help.txt");
}

TEST_F(ScriptReader, EntryLimitsOverBothSections)
{
    struct Case { int base; int decorated; const char *box; DWORD count; };
    const Case cases[] = {
        { 50, 0, "", 50 },
        { 51, 0, "Files section has more than 50 entries", 0 },
        { 30, 20, "", 50 },
        { 30, 21, "Files.NTamd64 section has more than 20 entries", 0 },
        { 50, 1, "Files.NTamd64 section has more than 0 entries", 0 },
        { 0, 50, "", 50 },
    };
    for (const Case &c : cases) {
        Script = SetupScript();
        AllocateEntryLists();
        std::string text = std::string(kGoodMain) + Entries("Files", c.base);
        if (c.decorated > 0)
            text += Entries("Files.NTamd64", c.decorated, "g");
        Write(text);
        SCOPED_TRACE(std::to_string(c.base) + " + " + std::to_string(c.decorated));
        EXPECT_EQ(Read(c.box[0] == '\0'), c.box);
        if (c.box[0] == '\0') {
            EXPECT_EQ(Script.FileCount, c.count);
        }
    }
}

TEST_F(ScriptReader, EntriesSplitAtTheFirstComma)
{
    Write(std::string(kGoodMain) +
          "[Files]\r\n"
          "demo.exe=%InstallDir%\r\n"
          "driver.sys=%WindowsDir%\\system32\\drivers, drivers\r\n"
          "[Links]\r\n"
          "Readme=%InstallDir%\\readme.txt  ,  -x, -y \r\n"
          "[Links.NTamd64]\r\n"
          "Tool=%InstallDir%\\tool.exe,\r\n");
    Read(true);
    ASSERT_EQ(Script.FileCount, 2u);
    EXPECT_STREQ(Script.FileList[0].Name, "demo.exe");
    EXPECT_STREQ(Script.FileList[0].Path, "%InstallDir%");   // expanded where it is used
    EXPECT_STREQ(Script.FileList[0].Extra, "");
    EXPECT_STREQ(Script.FileList[1].Path, "%WindowsDir%\\system32\\drivers");
    EXPECT_STREQ(Script.FileList[1].Extra, "drivers");
    ASSERT_EQ(Script.LinkCount, 2u);
    EXPECT_STREQ(Script.LinkList[0].Name, "Readme");
    EXPECT_STREQ(Script.LinkList[0].Path, "%InstallDir%\\readme.txt  ");
    EXPECT_STREQ(Script.LinkList[0].Extra, "-x, -y");
    EXPECT_STREQ(Script.LinkList[1].Name, "Tool");
    EXPECT_STREQ(Script.LinkList[1].Extra, "");
}

TEST_F(ScriptReader, LongKeyNamesAreAllRead)
{
    std::string text = std::string(kGoodMain) + "[Files]\r\n";
    for (int i = 0; i < 50; i++)
        text += std::string(70, 'k') + std::to_string(100 + i) + ".dat=%InstallDir%\r\n";
    Write(text);
    Read(true);
    ASSERT_EQ(Script.FileCount, 50u);
    EXPECT_EQ(std::string(Script.FileList[49].Name), std::string(70, 'k') + "149.dat");
}

TEST_F(ScriptReader, HostileFilesAreReadOrRefusedButNeverCrash)
{
    std::string huge(20000, 'v');
    std::string garbage;
    for (int i = 0; i < 4096; i++)
        garbage += (char)((i * 7919) % 251 + 1);
    std::string manyKeys = std::string(kGoodMain) + Entries("Links", 5000);
    struct Case { std::string text; const char *box; };
    const Case cases[] = {
        { std::string(kGoodMain) + "HelpFile=" + huge + "\r\n[Files]\r\nbig=" + huge + "\r\n", "" },
        { "AppName=no sections at all\r\n", "Key AppName must be present" },
        { garbage, "Key AppName must be present" },
        { std::string(kGoodMain) + garbage, "" },
        { manyKeys, "Links section has more than 50 entries" },
        { std::string(kGoodMain) + "[Files]\r\n\"quoted=%InstallDir\r\n%%%=\"%\r\n=\r\n", "" },
        { std::string("[Main]\r\nAppName=\"") + std::string(300, 'q') + "\r\n", "Key AppVersion must be present" },
    };
    for (const Case &c : cases) {
        Script = SetupScript();
        AllocateEntryLists();
        Write(c.text);
        std::string box = Read(c.box[0] == '\0');
        EXPECT_EQ(box, c.box) << c.text.substr(0, 80);
        for (DWORD i = 0; i < Script.FileCount; i++) {
            EXPECT_LT(lstrlenA(Script.FileList[i].Path), MAX_PATH);
            EXPECT_NE(Script.FileList[i].Extra, nullptr);
        }
    }
    ASSERT_NE(Script.AppName, nullptr);
    EXPECT_EQ(lstrlenA(Script.AppName), 255) << "a longer value is cut by the profile reader";
}

}  // namespace
