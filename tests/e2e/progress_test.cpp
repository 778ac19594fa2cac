// The progress window while the files are copied: it appears once the copy has lasted half a
// second, reads "Copying files... NN %", hides while a box shows, and its Cancel button rolls the
// installation back. (A gigabyte takes about a second to copy here, less from the cache.)
#include <gtest/gtest.h>
#include "runner.h"

namespace {

using namespace e2e;

const char kCopying[] = "~|progress|progress=Copying files... * %;cancel:shown|wait";
const char kWarned[] = "~|warning|Installation completed with some warnings.{kept}|[OK]";
const char kNotePad[] = "*install.log*|window||close";

std::string BigScript(int files, const std::string &more = "")
{
    std::string lines;
    for (int i = 1; i <= files; i++)
        lines += "big" + std::to_string(i) + ".bin=%InstallDir%\r\n";
    return e2e::Script("Big Product", "[Files]\r\n" + lines + more);
}

std::vector<std::string> BigFiles(int files)
{
    std::vector<std::string> arrange;
    for (int i = 1; i <= files; i++)
        arrange.push_back("big:{product}\\big" + std::to_string(i) + ".bin=1024");
    return arrange;
}

const std::vector<std::string> kNothingLeft = { "absent:{dir}", "absent:{group}", "logs:0" };

const Case kCopies[] = {
    { "a product of 2 GB shows the copy's progress", BigScript(2), BigFiles(2),
      { { "", "", { kYesToInstall, kOptionsInstall, kCopying, kInstallDone }, 0 } },
      { "exists:{dir}\\big2.bin", "progress:1", "log:All files successfully copied" } },
    { "a product of 1 MB shows none", e2e::Script("Big Product", "[Files]\r\nsmall.bin=%InstallDir%\r\n"),
      { "big:{product}\\small.bin=1" },
      { { "", "", { kYesToInstall, kOptionsInstall, kInstallDone }, 0 } },
      { "exists:{dir}\\small.bin", "progress:0" } },
    // The box hides the window (the runner checks that none stands beside a box), which shows
    // again once the copy goes on, if not before: the question has made the copy last.
    { "an overwrite question during the copy",
      e2e::Script("Big Product", "[Files]\r\nbig1.bin=%InstallDir%\r\nshared.txt=C:\\e2e\\shared\r\nbig2.bin=%InstallDir%\r\n"),
      With(BigFiles(2), { "file:{product}\\shared.txt=new", "folder:C:\\e2e\\shared", "file:C:\\e2e\\shared\\shared.txt=old" }),
      { { "", "", { kYesToInstall, "~|dialog||advanced,install",
                    "~|warning|File \"C:\\e2e\\shared\\shared.txt\" already exists.\nDo you want to overwrite it?|Yes,[No]>Yes",
                    kWarned, kNotePad }, 1 } },
      { "exists:{dir}\\big2.bin", "content:C:\\e2e\\shared\\shared.txt=new", "progress:1", "log:All files successfully copied" } },
    { "Cancel during the copy rolls everything back", BigScript(4), BigFiles(4),
      { { "", "", { kYesToInstall, kOptionsInstall, "~|progress|progress=Copying files... * %;cancel:shown|cancel",
                    "~|error|Installation aborted.{keep}|Yes,[No]>No" }, 1 } },
      With(kNothingLeft, { "log:Copying cancelled by the user", "log:Deleted the unfinished copy \"{dir}\\big*.bin\"" }) },
};

class CopyProgress : public e2e::CaseTest {};
TEST_P(CopyProgress, ShownWhenTheCopyLasts) { e2e::RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Rows, CopyProgress, ::testing::ValuesIn(kCopies), e2e::CaseName);

}  // namespace
