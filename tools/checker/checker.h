// The setup.ini checker: reads a product folder's setup.ini with the installer's own reader,
// variables and checks, and reports every problem at once, each with the line it is on. It
// changes nothing on the machine and shows no box.
#pragma once
#include <string>
#include <vector>

struct Finding {
    int line;            // 0 when the problem is on no one line: `where` names its section and key
    std::string where;   // "[Main]", "[Main] AppVersion"
    bool error;          // the installer refuses it or fails on it; else a warning
    std::string text;
};

// Every problem of FOLDER\setup.ini, in the order of the lines they are on. shipped, when given,
// receives what a package of the product must carry beside setup.exe, named relative to the
// folder: setup.ini, the sources of [Files], the license, the driver package's INF, its files and
// its catalog; a file outside the folder is then an error.
std::vector<Finding> CheckProduct(const std::string &folder, std::vector<std::string> *shipped = nullptr);
// "setup.ini:12: error: text" or "setup.ini:[Main] AppVersion: error: text".
std::string FindingText(const Finding &finding);
// How many of the findings are errors.
size_t ErrorCount(const std::vector<Finding> &findings);
// "setup.ini: 2 errors, 1 warning" or "setup.ini: no problems found".
std::string FindingsSummary(const std::vector<Finding> &findings);
