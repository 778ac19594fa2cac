#include <gtest/gtest.h>
#include <regex>
#include <string>
#include "../common/log_capture.h"
#include "system/file_ops.h"
#include "support/runstate.h"
#include "support/memory.h"

namespace {

class FileOps : public ::testing::Test {
protected:
    std::string Write(const std::string &name, const std::string &content)
    {
        std::string path = log_.Folder() + "\\" + name;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written;
        WriteFile(file, content.data(), (DWORD)content.size(), &written, NULL);
        CloseHandle(file);
        return path;
    }
    LogCapture log_;
};

TEST_F(FileOps, CopiesAcrossBlockBoundaries)
{
    for (size_t size : { (size_t)0, (size_t)1, (size_t)kCopyBlockSize - 1, (size_t)kCopyBlockSize,
                         (size_t)kCopyBlockSize + 1, (size_t)kCopyBlockSize * 3 + 7 }) {
        std::string content;
        for (size_t i = 0; i < size; i++)
            content += (char)(i * 31 % 251);
        std::string source = Write("source.bin", content);
        std::string destination = log_.Folder() + "\\copy.bin";
        DeleteFileA(destination.c_str());
        ASSERT_TRUE(CopyOneFile(source.c_str(), destination.c_str(), true)) << size;
        EXPECT_EQ(ReadFileText(destination), content) << size;
        EXPECT_EQ(log_.Lines().back().substr(19), "Copied \"" + source + "\" -> \"" + destination + "\"");
    }
    EXPECT_EQ(log_.BoxCount(), 0);
}

TEST_F(FileOps, ExistingDestinationAndMissingSource)
{
    std::string source = Write("new.txt", "new");
    std::string destination = Write("old.txt", "old");
    SetLastError(0);
    EXPECT_FALSE(CopyOneFile(source.c_str(), destination.c_str(), true));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);
    EXPECT_EQ(log_.BoxCount(), 0) << "an existing file is the caller's question";
    EXPECT_EQ(ReadFileText(destination), "old");
    EXPECT_TRUE(CopyOneFile(source.c_str(), destination.c_str(), false));
    EXPECT_EQ(ReadFileText(destination), "new");

    std::string missing = log_.Folder() + "\\missing.txt";
    EXPECT_FALSE(CopyOneFile(missing.c_str(), destination.c_str(), false));
    EXPECT_EQ(log_.LastBoxText().rfind("Cannot open \"" + missing + "\" (0/2 - ", 0), 0u) << log_.LastBoxText();
    std::string noFolder = log_.Folder() + "\\no-folder\\x.txt";
    EXPECT_FALSE(CopyOneFile(source.c_str(), noFolder.c_str(), true));
    EXPECT_EQ(log_.LastBoxText().rfind("Cannot create \"" + noFolder + "\" (0/3 - ", 0), 0u) << log_.LastBoxText();
}

TEST_F(FileOps, LoadFileAddsAZeroAndNamesTheFileInItsBoxes)
{
    Write("empty.txt", "");
    Write("text.txt", "line one\r\nline two");
    DWORD size = 99;
    char *block = LoadFile((log_.Folder() + "\\empty.txt").c_str(), "empty.txt", &size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(block[0], '\0');
    MemFree(block);
    block = LoadFile((log_.Folder() + "\\text.txt").c_str(), "text.txt", &size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 18u);
    EXPECT_STREQ(block, "line one\r\nline two");
    MemFree(block);
    EXPECT_EQ(LoadFile((log_.Folder() + "\\missing.txt").c_str(), "missing.txt", NULL), nullptr);
    EXPECT_EQ(log_.LastBoxText().rfind("Cannot open file \"missing.txt\" (0/2 - ", 0), 0u) << log_.LastBoxText();
}

TEST_F(FileOps, SaveFileReplacesTheContent)
{
    std::string path = Write("saved.txt", "a much longer old content");
    ASSERT_TRUE(SaveFile(path.c_str(), "short", 5));
    EXPECT_EQ(ReadFileText(path), "short");
    EXPECT_EQ(log_.Lines().back().substr(19), "Saved 5 bytes to \"" + path + "\"");
    std::string bad = log_.Folder() + "\\no-folder\\saved.txt";
    EXPECT_FALSE(SaveFile(bad.c_str(), "x", 1));
    EXPECT_EQ(log_.LastBoxText().rfind("Cannot create file \"" + bad + "\" (0/3 - ", 0), 0u);
}

TEST_F(FileOps, DeleteAndQueue)
{
    std::string path = Write("doomed.txt", "x");
    EXPECT_TRUE(DeleteOneFile(path.c_str()));
    EXPECT_EQ(log_.Lines().back().substr(19), "Deleted file \"" + path + "\"");
    EXPECT_TRUE(DeleteOneFile(path.c_str()));
    EXPECT_EQ(log_.Lines().back().substr(17), "**File \"" + path + "\" to be deleted doesn't exist");

    ::Run.IsNT = false;
    std::string kept = Write("kept.txt", "x");
    EXPECT_FALSE(QueueFileDeletion(kept.c_str(), true));
    EXPECT_EQ(log_.Lines().back().substr(19), "Queuing \"" + kept + "\" for deletion");
    EXPECT_EQ(ReadFileText(kept), "x") << "nothing renamed before NT";
}

TEST_F(FileOps, CreateTempFileHasAGuidNameWithTheExtension)
{
    LogCapture &log = log_;
    char path[MAX_PATH];
    HANDLE file = CreateTempFile(path, "BAT");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    const std::regex name(R"([0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\.BAT)");
    std::string text = path;
    EXPECT_EQ(text.substr(0, log.Folder().size() + 1), log.Folder() + "\\");
    EXPECT_TRUE(std::regex_match(text.substr(log.Folder().size() + 1), name)) << text;
    EXPECT_EQ(log.Lines().back().substr(19), "Created temporary file \"" + text + "\"");
    DeleteFileA(path);
}

}  // namespace
