// Checks a product's setup.ini before it ships: every problem at once, each with its line.
//   check-script [--strict] [PRODUCT_DIR]
// Without a folder it checks the one it lies in, as setup.exe reads the setup.ini beside it. The
// findings go to a console as its characters, and to a file or a pipe in UTF-8. Exit status 0 when
// there is no error (warnings alone count with --strict), 1 when there is one, 2 for a command
// line it does not understand.
#include <windows.h>
#include <cstdio>
#include <string>
#include "checker.h"

// One line, in the console's own characters, else in UTF-8: never in a code page the reader
// does not know.
static void PrintLine(const std::string &line)
{
    WCHAR wide[4096];
    char utf8[8192];
    int length = MultiByteToWideChar(CP_ACP, 0, (line + "\n").c_str(), -1, wide, 4096) - 1;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode) && WriteConsoleW(out, wide, (DWORD)length, &written, NULL))
        return;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, length, utf8, sizeof utf8, NULL, NULL);
    fwrite(utf8, 1, (size_t)bytes, stdout);
}

static std::string OwnFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string text(path, length < MAX_PATH ? length : 0);
    return text.substr(0, text.find_last_of('\\'));
}

// Started from Explorer the console would close before the author could read it.
static void WaitWhenOwnConsole()
{
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1) {
        printf("\nPress Enter to close this window.");
        getchar();
    }
}

int main(int argc, char **argv)
{
    bool strict = false;
    std::string folder;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printf("usage: check-script [--strict] [PRODUCT_DIR]\n");
            return 0;
        } else if (arg == "--strict" && !strict) {
            strict = true;
        } else if (arg[0] != '-' && folder.empty()) {
            folder = arg;
        } else {
            fprintf(stderr, "usage: check-script [--strict] [PRODUCT_DIR]\n");
            return 2;
        }
    }
    if (folder.empty())
        folder = OwnFolder();
    std::vector<Finding> findings = CheckProduct(folder);
    for (const Finding &finding : findings)
        PrintLine(FindingText(finding));
    PrintLine(FindingsSummary(findings));
    WaitWhenOwnConsole();
    return ErrorCount(findings) > 0 || (strict && !findings.empty()) ? 1 : 0;
}
