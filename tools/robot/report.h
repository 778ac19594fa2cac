// What try-install saw, kept to be written out once more as a page to look at: report.html, one
// self-contained file with the pictures beside it.
#pragma once
#include <map>
#include <string>
#include <vector>
#include "checker.h"
#include "machine.h"
#include "robot.h"

struct WindowSeen {
    std::string picture;   // the picture's file name beside the report; "" when the window was gone first
    robot::Window window;
    std::string action;    // what the user did: "presses \"Yes\""
};

struct RunSeen {
    std::string title, command;
    std::vector<WindowSeen> windows;
    std::string ending;    // "exit code 0 (123 setup.exe (ended, 0))"
};

struct Report {
    std::string product, windowsVersion, verdict;
    bool passed = false;
    std::vector<Finding> findings;
    std::vector<RunSeen> runs;
    std::string journalPath, journal;
    std::vector<Change> installed, left;   // the machine after the installation, after everything
    std::map<std::string, TraceLogCopy> logs;
};

bool WriteHtmlReport(const Report &report, const std::string &path);
