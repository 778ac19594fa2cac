// What the customer downloads: the example packaged by tools/package.sh (the "package" test makes
// it), its own setup.exe bound to its setup.ini and files. It installs and uninstalls as the
// example does; a setup.ini changed by one byte is refused before anything is done; a file
// replaced after packaging fails the installation, which is rolled back; started alone, as from
// inside the .zip file, it asks for the files to be extracted.
#include <gtest/gtest.h>
#include "runner.h"

namespace {

using namespace e2e;

const std::string kPackaged = robot::EnvPath("PACKAGED_PRODUCT");
// The runner names the product's folders from the script; the package brings its own over it.
const std::string kScript = ReadFileText(kPackaged + "\\setup.ini");
const char kLicense[] = "~|dialog||accept";
const char kNotBound[] = "|error|\"{product}\\%s\" is not the file this setup program was made for: it was changed or "
                         "replaced after the product was packaged. Download the product again from its author.|[OK]";

std::string NotBound(const char *caption, const char *file)
{
    char text[512];
    wsprintfA(text, kNotBound, file);
    return caption + std::string(text);
}

const Case kPackages[] = {
    { "the package installs and uninstalls", kScript, { "package:PACKAGED_PRODUCT" },
      { { "", "", { kYesToInstall, kLicense, kOptionsInstall, kInstallDone }, 0 },
        { "{dir}\\setup.exe", "-u", { kYesToUninstall, kUninstallDone }, 0 } },
      { "unchanged:", "log:SHA-256 of \"{product}\\setup.ini\": *, as bound", "log:SHA-256 of \"{product}\\license.txt\": *, as bound",
        "log:SHA-256 of \"{product}\\demoaudio.dll\": *, as bound", "nolog:*not as bound*" } },
    { "a setup.ini changed by one byte", kScript, { "package:PACKAGED_PRODUCT", "edit:{product}\\setup.ini=AppVersion=1.0>AppVersion=1.1" },
      { { "", "", { NotBound("Setup", "setup.ini"), "Setup|error|Installation aborted.{keep}|Yes,[No]>No" }, 1 } },
      { "unchanged:", "logs:0" } },
    { "a file replaced after packaging", kScript, { "package:PACKAGED_PRODUCT", "file:{product}\\readme.txt=not the author's" },
      { { "", "", { kYesToInstall, kLicense, kOptionsInstall, NotBound("~", "readme.txt"), kInstallAborted }, 1 } },
      { "unchanged:", "log:Deleted \"{dir}\\readme.txt\"", "logs:0" } },
    { "the package's setup.exe alone", "", { "copy:{product}\\setup.exe=PACKAGED_SETUP" },
      { { "", "", { "Setup|error|Cannot find \"{product}\\setup.ini\". Extract all files of the package first (in Explorer: "
                    "right-click the .zip file, Extract All), then start setup.exe from the extracted folder.|[OK]",
                    "Setup|error|Installation aborted.{keep}|Yes,[No]>No" }, 1 } },
      { "logs:0" } },
};

class Package : public e2e::CaseTest {};
TEST_P(Package, WhatTheCustomerDownloads) { e2e::RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Rows, Package, ::testing::ValuesIn(kPackages), e2e::CaseName);

// Explorer and the elevation prompt name the product, not the setup program; this build's own
// setup.exe names itself.
TEST(PackagedSetup, ItsVersionResourceNamesTheProduct)
{
    const std::string packaged = robot::EnvPath("PACKAGED_SETUP"), plain = robot::EnvPath("SETUP_EXE");
    const std::pair<const char *, std::string> kStrings[] = {
        { "ProductName", "Demo Audio Suite" }, { "ProductVersion", "1.0" }, { "CompanyName", "Brindlework Audio" },
        { "FileDescription", "Demo Audio Suite setup" }, { "OriginalFilename", "setup.exe" },
    };
    for (const auto &string : kStrings)
        EXPECT_EQ(VersionString(packaged, string.first), string.second) << string.first;
    EXPECT_TRUE(IsBoundProgram(packaged));
    EXPECT_EQ(VersionString(plain, "ProductName"), "Marrowgate");
    EXPECT_FALSE(IsBoundProgram(plain));
}

}  // namespace
