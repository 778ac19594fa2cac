#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "script/setup_script.h"
#include "script/variables.h"
#include "support/runstate.h"
#include "support/memory.h"

namespace {

class Variables : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = SystemFolders;
        SystemFolders.WindowsDir = StrDup("C:\\windows");
        SystemFolders.ProgramFilesDir = StrDup("C:\\Program Files");
        SystemFolders.LocalProgramsFolder = StrDup("C:\\Local\\Programs");
        SystemFolders.CommonProgramsFolder = StrDup("C:\\Common\\Programs");
        Script.AppName = StrDup("Demo");
    }
    void TearDown() override { SystemFolders = saved_; }
    std::string Expand(const std::string &source, bool *replaced = nullptr)
    {
        char destination[MAX_PATH + 8];
        memset(destination, '#', sizeof destination);
        bool result = ExpandVariables(destination, source.c_str());
        for (size_t i = MAX_PATH; i < sizeof destination; i++)
            EXPECT_EQ(destination[i], '#') << "written past MAX_PATH for " << source;
        if (replaced)
            *replaced = result;
        return destination;
    }
    std::string Join(const std::string &folder, const std::string &name)
    {
        char destination[MAX_PATH + 8];
        memset(destination, '#', sizeof destination);
        JoinPath(destination, folder.c_str(), name.c_str());
        for (size_t i = MAX_PATH; i < sizeof destination; i++)
            EXPECT_EQ(destination[i], '#') << "written past MAX_PATH for " << folder << " + " << name;
        return destination;
    }
    LogCapture log_;
    SystemFolderSet saved_;
};

TEST_F(Variables, ExpandsTableNamesThenTheEnvironment)
{
    SetEnvironmentVariableA("installdir", NULL);
    struct Case { const char *source; const char *expected; bool replaced; };
    const Case before[] = {
        { "%InstallDir%\\bin", "\\bin", true },   // not known yet: nothing
    };
    for (const Case &c : before) {
        bool replaced = false;
        EXPECT_EQ(Expand(c.source, &replaced), c.expected);
        EXPECT_EQ(replaced, c.replaced) << c.source;
    }
    ::Run.InstallDir = StrDup("C:\\Program Files\\Demo");
    const std::string name50(50, 'N'), name51(51, 'N');
    const Case cases[] = {
        { "%InstallDir%\\bin", "C:\\Program Files\\Demo\\bin", true },
        { "%installdir%\\bin", "%installdir%\\bin", false },   // names are case-sensitive
        { "%%AppName%", "%Demo", true },
        { "100%", "100%", false },
        { "%", "%", false },
        { "%%", "%%", false },
        { "%WindowsDir%;%ProgramFilesDir%;%LocalProgramsFolder%;%CommonProgramsFolder%;%AppName%",
          "C:\\windows;C:\\Program Files;C:\\Local\\Programs;C:\\Common\\Programs;Demo", true },
        { "%UnknownThing%\\x", "%UnknownThing%\\x", false },
        { "", "", false },
    };
    for (const Case &c : cases) {
        bool replaced = false;
        EXPECT_EQ(Expand(c.source, &replaced), c.expected) << c.source;
        EXPECT_EQ(replaced, c.replaced) << c.source;
    }
    std::string long51 = "%" + name51 + "%AppName%";
    EXPECT_EQ(Expand(long51), "%" + name51 + "Demo") << "a name over 50 characters is plain text";
    std::string long50 = "%" + name50 + "%";
    EXPECT_EQ(Expand(long50), long50);

    SetEnvironmentVariableA("installdir", "E:\\from-environment");
    EXPECT_EQ(Expand("%installdir%\\bin"), "E:\\from-environment\\bin");
    SetEnvironmentVariableA("installdir", NULL);
    SetEnvironmentVariableA("DEMO_SETUP_TEST", "%AppName%");
    EXPECT_EQ(Expand("%DEMO_SETUP_TEST%"), "%AppName%") << "the environment comes after the table";
    SetEnvironmentVariableA("DEMO_SETUP_TEST", NULL);
}

TEST_F(Variables, ResultsThatDoNotFitAreEmptyAndLogged)
{
    ::Run.InstallDir = StrDup(("C:\\" + std::string(200, 'd')).c_str());
    EXPECT_EQ(Expand("%InstallDir%\\" + std::string(60, 'x')), "");
    EXPECT_EQ(Expand("%InstallDir%%InstallDir%%InstallDir%"), "") << "past the 512-byte intermediate";
    std::string fits = "%InstallDir%\\" + std::string(259 - 204, 'y');
    EXPECT_EQ(Expand(fits).size(), 259u);
    std::vector<std::string> lines = log_.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(8, 1), "*");
    EXPECT_EQ(lines[0].rfind("Path does not fit in 259 characters: \"%InstallDir%\\", 19), 19u) << lines[0];
}

TEST_F(Variables, JoinPath)
{
    ::Run.InstallDir = StrDup("C:\\Program Files\\Demo");
    struct Case { const char *folder; const char *name; const char *expected; };
    const Case cases[] = {
        { "C:\\Demo", "file.txt", "C:\\Demo\\file.txt" },
        { "C:\\Demo\\", "file.txt", "C:\\Demo\\file.txt" },
        { "C:\\Demo", "D:\\abs.txt", "D:\\abs.txt" },
        { "C:\\Demo", "\\\\server\\share\\f.txt", "\\\\server\\share\\f.txt" },
        { "C:\\Demo", "\\root.txt", "\\root.txt" },
        { "C:\\Demo", "%WindowsDir%\\x", "C:\\Demo\\C:\\windows\\x" },   // absolute only as written
        { "C:\\Demo", "", "C:\\Demo\\" },
        { "", "name", "name" },
        { "%InstallDir%", "uninst.ini", "C:\\Program Files\\Demo\\uninst.ini" },
        { "%ProgramFilesDir%\\%AppName%", "sub\\f", "C:\\Program Files\\Demo\\sub\\f" },
    };
    for (const Case &c : cases)
        EXPECT_EQ(Join(c.folder, c.name), c.expected) << c.folder << " + " << c.name;

    std::string folder250 = "C:\\" + std::string(247, 'f');
    EXPECT_EQ(Join(folder250, "name-of-twenty-chars"), "");
    EXPECT_EQ(Join(folder250, std::string(5, 'n')), folder250 + "\\" + std::string(5, 'n'));
    EXPECT_EQ(Join("C:\\" + std::string(300, 'g'), "short"), "") << "never the name alone";
    EXPECT_EQ(Join("C:\\x", "D:\\" + std::string(300, 'h')), "");
}

TEST(ResolveSystemFolders, FillsTheFourFolders)
{
    LogCapture log;
    ::Run.IsNT = true;
    SystemFolderSet saved = SystemFolders;
    ASSERT_TRUE(ResolveSystemFolders());
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    EXPECT_STREQ(SystemFolders.WindowsDir, windows);
    EXPECT_STRCASEEQ(SystemFolders.ProgramFilesDir, "C:\\Program Files");
    EXPECT_NE(std::string(SystemFolders.LocalProgramsFolder).find("\\Start Menu\\Programs"), std::string::npos);
    EXPECT_NE(std::string(SystemFolders.CommonProgramsFolder).find("\\Start Menu\\Programs"), std::string::npos);
    EXPECT_STRNE(SystemFolders.LocalProgramsFolder, SystemFolders.CommonProgramsFolder);

    ::Run.IsNT = false;   // before NT there is only the user's folder
    ASSERT_TRUE(ResolveSystemFolders());
    EXPECT_STREQ(SystemFolders.CommonProgramsFolder, SystemFolders.LocalProgramsFolder);
    EXPECT_EQ(log.BoxCount(), 0);
    SystemFolders = saved;
}

}  // namespace
