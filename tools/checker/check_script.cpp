// Checks a product's setup.ini before it ships: every problem at once, each with its line.
//   check-script [--strict] [PRODUCT_DIR]
// Without a folder it checks the one it lies in, as setup.exe reads the setup.ini beside it.
// Exit status 0 when there is no error (warnings alone count with --strict), 1 when there is one,
// 2 for a command line it does not understand.
#include <windows.h>
#include <cstdio>
#include <string>
#include "checker.h"

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
        if (arg == "--strict" && !strict) {
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
        printf("%s\n", FindingText(finding).c_str());
    printf("%s\n", FindingsSummary(findings).c_str());
    WaitWhenOwnConsole();
    return ErrorCount(findings) > 0 || (strict && !findings.empty()) ? 1 : 0;
}
