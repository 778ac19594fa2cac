// The files a driver package brings, as Windows finds them beside its INF (the fixture product's
// INF has a disk path, a 64-bit twin that overrides it, subfolders, a comment and a file named
// twice), and the checked copy a bound program installs it from.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "../common/log_capture.h"
#include "audio/driver_files.h"
#include "robot.h"
#include "support/memory.h"
#include "support/runstate.h"
#include "system/work_folder.h"

namespace {

std::vector<std::string> Names(char *block)
{
    std::vector<std::string> names;
    for (const char *name = block; *name != '\0'; name += lstrlenA(name) + 1)
        names.push_back(name);
    MemFree(block);
    return names;
}

TEST(DriverFiles, AsWindowsFindsThemBesideTheInf)
{
    const std::string inf = robot::EnvPath("BOUND_PRODUCT") + "\\driver\\bound.inf";
    EXPECT_EQ(Names(ListDriverFiles(inf.c_str())), (std::vector<std::string>{ "drivers\\bound.sys", "extra\\extra.bin", "helper.ax" }));
    char catalog[MAX_PATH];
    ASSERT_TRUE(DriverCatalog(inf.c_str(), catalog));
    EXPECT_STREQ(catalog, "bound.cat");
    EXPECT_EQ(Names(ListDriverFiles("C:\\no such.inf")), std::vector<std::string>());
}

// The INF, its files and its catalog land in the work folder, each checked; a file that differs
// stops it with a box that names the file.
TEST(DriverFiles, ABoundProgramInstallsFromItsCheckedCopy)
{
    for (bool tampered : { false, true }) {
        SCOPED_TRACE(tampered ? "tampered" : "as packaged");
        LogCapture log;
        std::string product = robot::EnvPath("BOUND_PRODUCT");
        if (tampered) {
            ASSERT_TRUE(CopyTree(product, log.Folder() + "\\product"));
            product = log.Folder() + "\\product";
            ASSERT_TRUE(WriteTextFile(product + "\\driver\\helper.ax", "not the vendor's"));
        }
        ::Run.SourceDir = StrDup(product.c_str());
        char inf[MAX_PATH];
        lstrcpyA(inf, (product + "\\driver\\bound.inf").c_str());
        EXPECT_EQ(TakeCheckedDriverPackage(inf), !tampered);
        const std::string work = WorkFolder();
        if (tampered) {
            EXPECT_EQ(log.LastBoxText(), "\"" + product + "\\driver\\helper.ax\" is not the file this setup program was made for: it "
                                         "was changed or replaced after the product was packaged. Download the product again from its author.");
        } else {
            EXPECT_EQ(std::string(inf), work + "\\bound.inf");
            for (const char *file : { "bound.inf", "drivers\\bound.sys", "extra\\extra.bin", "helper.ax", "bound.cat" })
                EXPECT_EQ(ReadFileText(work + "\\" + file), ReadFileText(product + "\\driver\\" + file)) << file;
        }
        DropWorkFolder();
        EXPECT_FALSE(PathExists(work)) << "the work folder goes, subfolders and all";
    }
}

}  // namespace
