// Binds a product's own setup.exe to its files: checks the product folder as the installer reads
// it, computes the SHA-256 of setup.ini and of every file the installation copies or hands to
// Windows with the installer's own hashing (the system's CryptoAPI), and writes what the build of
// that setup.exe takes in:
//   binding.txt          one line per file, "DIGEST NAME", the name relative to the folder, UTF-8
//   product-version.rc   the version resource: the product's name, version and publisher
//   bind-product PRODUCT_DIR OUT_DIR
// Exit status 0 when written; 1 when the product has errors (printed as the checker prints them)
// or a file cannot be read; 2 for a wrong command line.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include "checker.h"
#include "machine.h"
#include "robot.h"
#include "script/setup_script.h"
#include "system/file_hash.h"

namespace {

const DWORD kBlockSize = 1 << 20;

// The installer reads the script in the ANSI code page; the resource and the binding are UTF-8.
std::string Utf8(const std::string &ansi)
{
    int wide = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, NULL, 0);
    std::wstring text(wide, L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &text[0], wide);
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, NULL, 0, NULL, NULL);
    std::string utf8(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], size, NULL, NULL);
    return utf8.c_str();
}

// The file's digest in 64 hex digits; "" when it cannot be read.
std::string FileDigest(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    FileHash hash;
    BYTE digest[kDigestSize];
    std::vector<char> block(kBlockSize);
    bool ok = StartHash(&hash);
    DWORD got = 0;
    while (ok && ReadFile(file, block.data(), kBlockSize, &got, NULL) && got > 0)
        ok = AddToHash(&hash, block.data(), got);
    ok = ok && got == 0 && FinishHash(&hash, digest);
    ReleaseHash(&hash);
    CloseHandle(file);
    std::string text;
    char hex[3];
    for (DWORD i = 0; ok && i < kDigestSize; i++) {
        wsprintfA(hex, "%02x", digest[i]);
        text += hex;
    }
    return text;
}

std::string RcString(const std::string &text)
{
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? "\"\"" : c == '\\' ? "\\\\" : std::string(1, c);
    return quoted + "\"";
}

// "2.1 beta" -> "2,1,0,0": up to four numbers, each at most 65535.
std::string VersionNumbers(const std::string &version)
{
    std::string numbers;
    size_t at = 0;
    for (int part = 0; part < 4; part++) {
        unsigned long value = 0;
        while (at < version.size() && isdigit((unsigned char)version[at]) && value <= 65535)
            value = value * 10 + (version[at++] - '0');
        numbers += (part ? "," : "") + std::to_string(value > 65535 ? 65535 : value);
        at = at < version.size() && version[at] == '.' ? at + 1 : version.size();
    }
    return numbers;
}

std::string VersionResource()
{
    std::string name = Utf8(Script.AppName), version = Utf8(Script.AppVersion), numbers = VersionNumbers(version);
    std::string rc = "#pragma code_page(65001)\n// Written by bind-product for " + name + " " + version + ".\n"
                     "1 VERSIONINFO\nFILEVERSION " + numbers + "\nPRODUCTVERSION " + numbers +
                     "\nFILEOS VOS_NT_WINDOWS32\nFILETYPE VFT_APP\nBEGIN\n    BLOCK \"StringFileInfo\"\n    BEGIN\n"
                     "        BLOCK \"040904B0\"\n        BEGIN\n";
    if (Script.Publisher != NULL && Script.Publisher[0] != '\0')
        rc += "            VALUE \"CompanyName\", " + RcString(Utf8(Script.Publisher)) + "\n";
    rc += "            VALUE \"FileDescription\", " + RcString(name + " setup") + "\n"
          "            VALUE \"FileVersion\", " + RcString(version) + "\n"
          "            VALUE \"ProductName\", " + RcString(name) + "\n"
          "            VALUE \"ProductVersion\", " + RcString(version) + "\n"
          "            VALUE \"OriginalFilename\", \"setup.exe\"\n"
          "            VALUE \"InternalName\", SETUP_PRODUCT \" \" SETUP_VERSION_TEXT\n"
          "        END\n    END\n    BLOCK \"VarFileInfo\"\n    BEGIN\n        VALUE \"Translation\", 0x409, 1200\n    END\nEND\n";
    return rc;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: bind-product PRODUCT_DIR OUT_DIR\n");
        return 2;
    }
    std::string folder = robot::WindowsPath(argv[1]), out = robot::WindowsPath(argv[2]);
    std::vector<std::string> shipped;
    std::vector<Finding> findings = CheckProduct(folder, &shipped);
    for (const Finding &finding : findings)
        if (finding.error)
            printf("%s\n", FindingText(finding).c_str());
    if (ErrorCount(findings) > 0)
        return 1;
    std::string binding;
    std::vector<std::string> bound;
    for (const std::string &name : shipped) {
        if (std::any_of(bound.begin(), bound.end(), [&](const std::string &b) { return lstrcmpiA(b.c_str(), name.c_str()) == 0; }))
            continue;   // the license may be a file of [Files] too
        bound.push_back(name);
        std::string digest = FileDigest(folder + "\\" + name);
        if (digest.empty()) {
            printf("cannot read %s\\%s\n", folder.c_str(), name.c_str());
            return 1;
        }
        binding += digest + " " + Utf8(name) + "\r\n";
        printf("%s %s\n", digest.c_str(), name.c_str());
    }
    if (!WriteTextFile(out + "\\binding.txt", binding) || !WriteTextFile(out + "\\product-version.rc", VersionResource())) {
        printf("cannot write into %s\n", out.c_str());
        return 1;
    }
    return 0;
}
