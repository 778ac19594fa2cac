// Folders, each recorded in the journal right after it was made; shortcuts are seen end to end.
#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "install/folders.h"
#include "support/runstate.h"
#include "system/journal_recorder.h"

namespace {

std::string Recorded()
{
    return JournalText() != NULL ? JournalText() : "";
}

TEST(Folders, OnlyWhatWasMadeIsRecorded)
{
    LogCapture log;
    JournalClear();
    std::string folder = log.Folder() + "\\Product", orphan = log.Folder() + "\\no-parent\\Product";
    EXPECT_EQ(MakeFolder(folder.c_str()), 0u);
    EXPECT_EQ(MakeFolder(folder.c_str()), kStatusFailed) << "a normal user cannot take over a folder";
    EXPECT_EQ(MakeFolder(orphan.c_str()), kStatusFailed);
    EXPECT_EQ(log.LastBoxText().rfind("Cannot create directory \"" + orphan + "\" (0/3 - ", 0), 0u) << log.LastBoxText();
    EXPECT_EQ(Recorded(), "CreateDir \"" + folder + "\"\r\n");
    JournalClear();
}

}  // namespace
