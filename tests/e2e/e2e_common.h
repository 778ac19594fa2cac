// What the end-to-end tests share: a product folder with a copy of setup.exe, Windows version
// emulation, the trace logs in the temporary folder and the texts of the final report.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "robot.h"
#include "test_files.h"

namespace e2e {

const char kSetupCaption[] = "Setup";

// The built setup.exe, as a Windows path.
std::string SetupExe();

// C:\e2e\<name> with a copy of setup.exe; removed with everything in it afterwards.
class ProductFolder {
public:
    explicit ProductFolder(const std::string &name);
    ~ProductFolder();
    void Write(const std::string &fileName, const std::string &content) const;
    const std::string &Path() const { return path_; }
    std::string Exe() const { return path_ + "\\setup.exe"; }
    std::vector<std::string> Files() const;   // names in the folder, sorted

private:
    std::string path_;
};

// Wine reports this Windows version to setup.exe while the object lives ("nt40", "win98", ...).
class WindowsVersion {
public:
    explicit WindowsVersion(const char *version, const char *exeName = "setup.exe");
    ~WindowsVersion();

private:
    std::string key_;
};

// An environment variable set for the programs the test starts while the object lives.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char *name, const char *value);
    ~ScopedEnvironment();

private:
    std::string name_;
    std::string saved_;
    bool had_;
};


// Presses Enter in a dialog as the keyboard would: on the control that has the focus.
bool PressEnter(const robot::Window &dialog);

// The Windows folders a test looks into.
std::string CommonProgramsFolder();
// A registry value as text ("" when absent); numbers as decimal text.
std::string RegistryValue(HKEY root, const std::string &key, const char *name);
bool RegistryKeyExists(HKEY root, const std::string &key);
// What a shell link holds.
struct LinkInfo {
    bool loaded = false;
    std::string path, arguments, workingDir, description;
};
LinkInfo ReadLink(const std::string &linkPath);

// The final report of a failed or warned run that offers to keep the trace log.
std::string ReportWithKeepQuestion(const std::string &first, const std::string &logPath);
// The same without the question (the log is kept anyway).
std::string ReportWithLogParagraph(const std::string &first, const std::string &logPath);

// Every line has the 19-character prefix: "dd.mm.yy hh:mm:ss  " or "dd.mm.yy*hh:mm:ss**".
::testing::AssertionResult AllLinesWellFormed(const std::vector<std::string> &lines);
bool IsErrorLine(const std::string &line);
std::string LineText(const std::string &line);   // after the prefix

}  // namespace e2e
