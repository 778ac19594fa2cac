// Installs and uninstalls the bundled example product as a user would, under Wine: answers every
// box and dialog, saves a picture of each, and prints what the user saw, the trace logs and what
// the runs left on the system.
//   demo_driver <example folder> <picture folder>      (Unix or Windows paths)
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>
#include "robot.h"
#include "test_files.h"

namespace {

const char kProductFolder[] = "C:\\Demo Product";

std::vector<std::string> List(const std::string &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name + ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "\\" : ""));
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

void CopyTree(const std::string &from, const std::string &to)
{
    CreateDirectoryA(to.c_str(), NULL);
    for (const std::string &name : List(from)) {
        if (name.back() == '\\')
            CopyTree(from + "\\" + name.substr(0, name.size() - 1), to + "\\" + name.substr(0, name.size() - 1));
        else
            CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE);
    }
}

void PrintTree(const std::string &folder, const std::string &indent)
{
    for (const std::string &name : List(folder)) {
        printf("%s%s\n", indent.c_str(), name.c_str());
        if (name.back() == '\\')
            PrintTree(folder + "\\" + name.substr(0, name.size() - 1), indent + "    ");
    }
}

// What a user would answer: go ahead, accept, install; but no need to keep a log.
int ChooseAnswer(const robot::Window &window)
{
    if (!window.isMessageBox)
        return IDOK;
    bool keepQuestion = window.text.find("Keep the trace log file?") != std::string::npos;
    for (int id : window.buttonIds) {
        if (id == (keepQuestion ? IDNO : IDYES))
            return id;
    }
    return window.defaultButton != 0 ? window.defaultButton : IDOK;
}

// The caption of the button the user presses, as the window shows it.
std::string ButtonName(const robot::Window &window, int id)
{
    const robot::Control *control = window.FindControl(id);
    if (control != NULL && !control->text.empty()) {
        std::string text = control->text;
        text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
        return "\"" + text + "\"";
    }
    for (size_t i = 0; i < window.buttonIds.size(); i++)
        if (window.buttonIds[i] == id)
            return "\"" + window.buttons[i] + "\"";
    return "button " + std::to_string(id);
}

void Run(const char *title, const std::string &exe, const std::string &args, const std::string &pictures, int *picture)
{
    printf("\n=== %s: \"%s\" %s\n", title, exe.c_str(), args.c_str());
    std::vector<std::string> logsBefore = TraceLogs();
    std::map<std::string, std::string> logs;   // each run's trace log as last seen
    robot::Session session;
    if (!session.Start(exe, args, kProductFolder)) {
        printf("cannot start: %s\n", session.LastError().c_str());
        return;
    }
    robot::Window window;
    while (session.NextWindow(&window, 30000)) {
        char name[MAX_PATH];
        wsprintfA(name, "%s\\%02d-%s.png", pictures.c_str(), ++*picture, args.empty() ? "install" : "uninstall");
        session.SavePng(window, name);
        for (const std::string &log : NewTraceLogs(logsBefore))
            logs[log] = ReadFileText(log);
        int answer = ChooseAnswer(window);
        printf("\n--- %s (picture %s)\n%s\n    -> the user presses %s\n", window.isMessageBox ? "message box" : "dialog",
               name, window.Describe().c_str(), ButtonName(window, answer).c_str());
        session.Press(window, answer);
    }
    DWORD exitCode = 0;
    robot::Window unexpected;
    if (!session.WaitExit(30000, &exitCode, &unexpected))
        printf("did not end cleanly: %s\n", session.LastError().c_str());
    printf("\nexit code %lu (%s)\n", exitCode, session.ProcessSummary().c_str());
    for (const auto &log : logs)
        printf("\n--- trace log %s%s\n%s", log.first.c_str(), PathExists(log.first) ? "" : " (deleted at the end of its run)",
               log.second.c_str());
}

void ShowSystem(const char *when)
{
    printf("\n=== What is on the system %s\n", when);
    const char *folders[] = { "C:\\Program Files\\Demo Audio Suite",
                              "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Demo Audio Suite" };
    for (const char *folder : folders) {
        DWORD attributes = GetFileAttributesA(folder);
        printf("%s: %s\n", folder, attributes == INVALID_FILE_ATTRIBUTES ? "(absent)" : "");
        PrintTree(folder, "    ");
    }
    std::string journal = ReadFileText("C:\\Program Files\\Demo Audio Suite\\uninst.ini");
    if (!journal.empty())
        printf("--- uninst.ini\n%s", journal.c_str());
    std::string installLog = ReadFileText("C:\\Program Files\\Demo Audio Suite\\install.log");
    if (!installLog.empty())
        printf("--- install.log (the installation's trace log, kept in the product's folder)\n%s", installLog.c_str());
    HKEY key;
    const char uninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo Audio Suite 1.0";
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, uninstall, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        printf("HKLM\\%s:\n", uninstall);
        char name[MAX_PATH], data[MAX_PATH];
        for (DWORD i = 0;; i++) {
            DWORD nameSize = MAX_PATH, dataSize = MAX_PATH, type = 0;
            if (RegEnumValueA(key, i, name, &nameSize, NULL, &type, (BYTE *)data, &dataSize) != ERROR_SUCCESS)
                break;
            if (type == REG_DWORD)
                printf("    %s = %lu (REG_DWORD)\n", name, *(DWORD *)data);
            else
                printf("    %s = %s\n", name, data);
        }
        RegCloseKey(key);
    } else {
        printf("HKLM\\%s: (absent)\n", uninstall);
    }
    printf("Program copies and batch files in the temporary folder:");
    int count = 0;
    for (const std::string &name : List(TempFolder())) {
        std::string upper = name;
        for (char &c : upper)
            c = (char)toupper((unsigned char)c);
        if (upper.size() > 4 && (upper.substr(upper.size() - 4) == ".EXE" || upper.substr(upper.size() - 4) == ".BAT")) {
            printf(" %s", name.c_str());
            count++;
        }
    }
    printf("%s\n", count == 0 ? " (none)" : "");
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: demo_driver <example folder> <picture folder>\n");
        return 2;
    }
    setvbuf(stdout, NULL, _IONBF, 0);
    std::string pictures = robot::WindowsPath(argv[2]);
    CopyTree(robot::WindowsPath(argv[1]), kProductFolder);
    CopyFileA(robot::EnvPath("SETUP_EXE").c_str(), (std::string(kProductFolder) + "\\setup.exe").c_str(), FALSE);
    printf("The example product lies in \"%s\":\n", kProductFolder);
    PrintTree(kProductFolder, "    ");
    int picture = 0;
    Run("Installation", std::string(kProductFolder) + "\\setup.exe", "", pictures, &picture);
    ShowSystem("after the installation");
    std::string installed = "C:\\Program Files\\Demo Audio Suite\\setup.exe";
    if (GetFileAttributesA(installed.c_str()) != INVALID_FILE_ATTRIBUTES) {
        Run("Uninstallation", installed, "-u", pictures, &picture);
        ShowSystem("after the uninstallation");
    } else {
        printf("\n(no installed copy of setup.exe to uninstall with yet)\n");
    }
    return 0;
}
