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
    int number;            // every window has one, in order, without gaps
    std::string picture;   // the picture's file name beside the report; "" when the window was gone first
    robot::Window window;
    std::string action;    // what the user did: "presses \"Yes\""
};

// What the customer ends up with after the installation, each line as Windows shows it.
struct InstalledProduct {
    std::vector<std::string> entry;       // "DisplayName: Demo Audio Suite 1.0", ...
    std::vector<std::string> shortcuts;   // "Read Me.lnk -> C:\...\readme.txt (arguments: -x)"
    std::vector<std::string> services;    // "DemoAudioService: running (C:\...\demo.exe)"
    std::vector<std::string> drivers;     // "Drivers32 wave1 = demoaudio.dll", "device ROOT\MEDIA\0000"
};

struct RunSeen {
    std::string title, command;
    std::vector<WindowSeen> windows;
    std::string ending;    // "exit code 0 (123 setup.exe (ended, 0))"
};

struct Report {
    std::string product, windowsVersion, verdict;
    bool passed = false;
    std::string script;                   // setup.ini as the checker read it, for the findings' lines
    std::vector<Finding> findings;
    InstalledProduct installedProduct;
    std::vector<RunSeen> runs;
    std::string journalPath, journal;
    std::vector<Change> installed, left;   // the machine after the installation, after everything
    std::map<std::string, TraceLogCopy> logs;
};

// What the installation left for the customer, read from the machine: from the changes it made and its journal.
InstalledProduct ReadInstalledProduct(const std::vector<Change> &installed, const std::string &journal);
// The same as lines of report.txt.
void PrintInstalledProduct(const InstalledProduct &product);
bool WriteHtmlReport(const Report &report, const std::string &path);
