#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "install/copy_files.h"
#include "support/runstate.h"

namespace {

TEST(ConfirmOverwrite, OnlyAnAdvancedUserIsAskedToOverwrite)
{
    LogCapture log_;
    EXPECT_FALSE(ConfirmOverwrite("File", "C:\\x\\a.txt"));
    EXPECT_EQ(log_.LastBoxText(), "File \"C:\\x\\a.txt\" already exists");
    EXPECT_EQ(log_.Lines().back()[8], '*');

    ::Run.AdvancedUser = true;
    EXPECT_FALSE(ConfirmOverwrite("Directory", "C:\\x")) << "an unanswered question is No";
    std::vector<std::string> lines = log_.Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3].substr(19), "Directory \"C:\\x\" already exists, asking for overwrite");
    EXPECT_EQ(lines[lines.size() - 2].substr(19),
              "MessageBox: Directory \"C:\\x\" already exists. Do you want to overwrite it?");
    EXPECT_EQ(lines.back().substr(19), "Overwrite disabled");
}

}  // namespace
