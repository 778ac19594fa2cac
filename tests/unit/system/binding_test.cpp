// A program bound to the fixture product (the digests in its binding are CMake's own): the
// system's SHA-256 against a known vector, files of the product that are and are not the ones it
// was made for, names matched as Windows matches them, and a copy hashed as it is made.
#include <gtest/gtest.h>
#include <string>
#include "../common/log_capture.h"
#include "robot.h"
#include "support/memory.h"
#include "support/runstate.h"
#include "system/binding.h"
#include "system/file_hash.h"
#include "system/file_ops.h"

namespace {

const char kNotBound[] = " is not the file this setup program was made for: it was changed or replaced after the product was "
                         "packaged. Download the product again from its author.";

// The run's one provider serves hash after hash, and is acquired again after its release.
TEST(FileHash, TheKnownVectorOfAbcBeforeAndAfterTheProviderIsReleased)
{
    for (int round = 0; round < 3; round++) {
        SCOPED_TRACE(round);
        BYTE digest[kDigestSize];
        ASSERT_TRUE(HashBytes("abc", 3, digest));
        std::string hex;
        char two[3];
        for (BYTE b : digest) {
            wsprintfA(two, "%02x", b);
            hex += two;
        }
        EXPECT_EQ(hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        if (round == 1)
            ReleaseHashProvider();
    }
}

struct BytesCase {
    const char *name;     // as the program names the file, relative to the product folder
    std::string change;   // appended to the file's bytes
    bool bound;
};

// The binding names files relative to the product folder, in any case; one byte decides.
TEST(Binding, AFileIsTheOneItWasMadeForOrABoxNamesIt)
{
    const BytesCase kCases[] = {
        { "setup.ini", "", true }, { "SETUP.INI", "", true }, { "Docs\\Read Me.txt", "", true },
        { "setup.ini", " ", false }, { "Docs\\Read Me.txt", "!", false }, { "license.txt", "", false },
    };
    const std::string product = robot::EnvPath("BOUND_PRODUCT");
    ASSERT_TRUE(IsBound());
    for (const BytesCase &c : kCases) {
        SCOPED_TRACE(std::string(c.name) + "+" + c.change);
        LogCapture log;
        ::Run.SourceDir = StrDup(product.c_str());
        std::string path = product + "\\" + c.name, bytes = ReadFileText(path) + c.change;
        EXPECT_EQ(CheckBoundBytes(path.c_str(), bytes.data(), (DWORD)bytes.size()), c.bound);
        EXPECT_EQ(log.BoxCount(), c.bound ? 0 : 1);
        EXPECT_EQ(log.LastBoxText(), c.bound ? "" : "\"" + path + "\"" + kNotBound);
    }
}

// A copy is hashed block by block as it is made, however many blocks it takes.
TEST(Binding, TheCopyIsHashedAsItIsMade)
{
    LogCapture log;
    const std::string product = robot::EnvPath("BOUND_PRODUCT");
    ::Run.SourceDir = StrDup(product.c_str());
    BYTE copied[kDigestSize], whole[kDigestSize];
    std::string source = product + "\\setup.ini", target = log.Folder() + "\\setup.ini";
    ASSERT_TRUE(CopyOneFile(source.c_str(), target.c_str(), true, NULL, copied));
    EXPECT_TRUE(CheckBoundDigest(source.c_str(), copied));

    std::string big(3 * kCopyBlockSize + 17, 'b'), bigSource = log.Folder() + "\\big.bin", bigTarget = log.Folder() + "\\big copy.bin";
    ASSERT_TRUE(WriteTextFile(bigSource, big));
    ASSERT_TRUE(CopyOneFile(bigSource.c_str(), bigTarget.c_str(), true, NULL, copied));
    ASSERT_TRUE(HashBytes(big.data(), (DWORD)big.size(), whole));
    EXPECT_EQ(std::string((char *)copied, kDigestSize), std::string((char *)whole, kDigestSize));
    EXPECT_FALSE(CheckBoundDigest(bigSource.c_str(), copied)) << "a file the binding does not name";
}

}  // namespace
