#include "runner.h"
#include <gtest/gtest.h>
#include <objbase.h>
#include <setupapi.h>
#include <shlobj.h>
#include <algorithm>
#include <map>
#include <sstream>

namespace e2e {
namespace {

const DWORD kWindowTimeoutMs = 20000;
const char kUninstallKey[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::vector<std::string> Split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream stream(text);
    while (std::getline(stream, part, separator))
        parts.push_back(part);
    if (!text.empty() && text.back() == separator)
        parts.push_back("");
    return parts;
}

std::string ScriptValue(const std::string &script, const std::string &key)
{
    for (const std::string &line : Split(script, '\n')) {
        if (line.compare(0, key.size() + 1, key + "=") == 0) {
            std::string value = line.substr(key.size() + 1);
            if (!value.empty() && value.back() == '\r')
                value.pop_back();
            return value;
        }
    }
    return "";
}

std::string Slug(const std::string &name)
{
    std::string slug;
    for (char c : name)
        slug += isalnum((unsigned char)c) ? c : '-';
    return slug.substr(0, 40);
}

// A box caption as setup.exe builds it: a long name is cut so that the mode still fits.
std::string ProductCaption(const std::string &appName, bool uninstall)
{
    std::string mode = uninstall ? " uninstallation" : " installation";
    return appName.substr(0, 127 - mode.size()) + mode;
}

class CaseRunner {
public:
    explicit CaseRunner(const Case &c);
    ~CaseRunner();
    void Execute();

private:
    std::string Expand(const std::string &text) const;
    void Arrange(const std::string &item);
    void SetValue(const std::string &path, DWORD type, const std::string &data);
    void InstallFirst();
    void RunOne(const Run &run);
    bool CheckWindow(robot::Session &session, const robot::Window &window, const std::string &spec, bool uninstall);
    bool CheckDialog(robot::Session &session, const robot::Window &window, const std::string &checks);
    bool Answer(robot::Session &session, const robot::Window &window, const std::string &answer);
    void CaptureLogs();
    void Expect(const std::string &fact);
    std::vector<std::string> LogTexts() const;

    const Case &case_;
    std::string appName_, version_;
    std::map<std::string, std::string> vars_;
    std::vector<std::string> logsBefore_, tempBefore_;
    std::map<std::string, std::string> logs_;          // each new trace log as last seen
    std::vector<std::function<void()>> undo_;          // the arrangements, taken back in reverse
    std::vector<robot::ProcessInfo> processes_;        // of every run so far
    std::vector<std::string> services_;                // the case's services, deleted afterwards
    std::vector<std::string> devices_;                 // hardware ids whose devices are removed
    Snapshot before_, after_;                          // the machine before and after the runs
};

std::vector<std::string> TemporaryPrograms()
{
    std::vector<std::string> names = ListFolder(TempFolder() + "\\*.EXE");
    for (const std::string &name : ListFolder(TempFolder() + "\\*.BAT"))
        names.push_back(name);
    return names;
}

CaseRunner::CaseRunner(const Case &c) : case_(c)
{
    appName_ = ScriptValue(c.script, "AppName");
    version_ = ScriptValue(c.script, "AppVersion");
    std::string product = "C:\\e2e\\" + Slug(c.name);
    vars_["{product}"] = product;
    vars_["{dir}"] = "C:\\Program Files\\" + appName_;
    vars_["{common}"] = CommonProgramsFolder();
    vars_["{group}"] = CommonProgramsFolder() + "\\" + ScriptValue(c.script, "DefaultProgramGroup");
    vars_["{temp}"] = TempFolder();
    vars_["{kept}"] = "\n\nA trace log is saved to \"" + vars_["{dir}"] + "\\install.log\"\nIt may help you to determine "
                      "a cause of the problem.\nYou can send it to the author with an error report.";
    CreateDirectoryA("C:\\e2e", NULL);
    RemoveTree(product);
    CreateDirectoryA(product.c_str(), NULL);
    if (!CopyFileA(robot::EnvPath("SETUP_EXE").c_str(), (product + "\\setup.exe").c_str(), FALSE))
        ADD_FAILURE() << "cannot copy setup.exe into " << product;
    vars_["{testservice}"] = robot::EnvPath("TEST_SERVICE_EXE");
    if (!c.script.empty())
        WriteTextFile(product + "\\setup.ini", Expand(c.script));
    logsBefore_ = TraceLogs();
    tempBefore_ = TemporaryPrograms();
}

CaseRunner::~CaseRunner()
{
    for (auto undo = undo_.rbegin(); undo != undo_.rend(); ++undo)
        (*undo)();
    for (const std::string &service : services_)
        DeleteServiceNamed(service);
    for (const std::string &device : devices_)
        RemoveDevices(device);
    // What should not be there is the case's own leftover: it must not disturb the next case.
    if (!before_.empty() && after_.empty())
        after_ = TakeSnapshot(kWithoutClasses);
    TakeBackAdditions(CompareSnapshots(before_, after_));
    for (const std::string &fact : case_.expect)
        if (fact.compare(0, 7, "absent:") == 0)
            RemoveTree(Expand(fact.substr(7)));
    for (const std::string &log : NewTraceLogs(logsBefore_))
        DeleteFileA(log.c_str());
    for (const std::string &name : TemporaryPrograms())
        if (std::find(tempBefore_.begin(), tempBefore_.end(), name) == tempBefore_.end())
            DeleteFileA((TempFolder() + "\\" + name).c_str());
    ClearPendingRenames();
    RemoveTree(vars_["{dir}"]);
    RemoveTree(vars_["{group}"]);
    RemoveTree(vars_["{product}"]);
    std::string key = std::string(kUninstallKey).substr(5) + appName_ + " " + version_;
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

std::string CaseRunner::Expand(const std::string &text) const
{
    std::string result = text;
    for (const auto &var : vars_) {
        for (size_t at = result.find(var.first); at != std::string::npos; at = result.find(var.first, at + var.second.size()))
            result.replace(at, var.first.size(), var.second);
    }
    // {short:PATH} is the path's short (8.3) form.
    for (size_t at = result.find("{short:"); at != std::string::npos; at = result.find("{short:", at + 1)) {
        size_t close = result.find('}', at);
        char shortPath[MAX_PATH] = "";
        GetShortPathNameA(result.substr(at + 7, close - at - 7).c_str(), shortPath, MAX_PATH);
        result.replace(at, close + 1 - at, shortPath);
    }
    return result;
}

// Sets (or, with REG_NONE, deletes) the value "KEY|NAME", and takes it back to what it was
// afterwards.
void CaseRunner::SetValue(const std::string &path, DWORD type, const std::string &data)
{
    std::string name = path.substr(path.find('|') + 1);
    RegistryPath split = SplitRegistryPath(path.substr(0, path.find('|')));
    HKEY key;
    ASSERT_TRUE(split.root != NULL && RegCreateKeyA(split.root, split.subkey.c_str(), &key) == ERROR_SUCCESS) << path;
    BYTE old[1024];
    DWORD oldType = REG_NONE, oldSize = sizeof old;
    bool had = RegQueryValueExA(key, name.c_str(), NULL, &oldType, old, &oldSize) == ERROR_SUCCESS;
    DWORD number = strtoul(data.c_str(), NULL, 0);
    if (type == REG_NONE)
        RegDeleteValueA(key, name.c_str());
    else if (type == REG_DWORD)
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, (const BYTE *)&number, sizeof number);
    else
        RegSetValueExA(key, name.c_str(), 0, type, (const BYTE *)data.c_str(), (DWORD)data.size() + 1);
    RegCloseKey(key);
    std::string saved((char *)old, had ? oldSize : 0);
    undo_.push_back([split, name, had, oldType, saved] {
        HKEY k;
        if (RegOpenKeyExA(split.root, split.subkey.c_str(), 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS)
            return;
        if (had)
            RegSetValueExA(k, name.c_str(), 0, oldType, (const BYTE *)saved.data(), (DWORD)saved.size());
        else
            RegDeleteValueA(k, name.c_str());
        RegCloseKey(k);
    });
}

void CaseRunner::Arrange(const std::string &item)
{
    std::string what = item.substr(0, item.find(':'));
    std::string rest = Expand(item.substr(item.find(':') + 1));
    std::string name = rest.substr(0, rest.find('=')), value = rest.find('=') == std::string::npos ? "" : rest.substr(rest.find('=') + 1);
    if (what == "file") {
        EXPECT_TRUE(WriteTextFile(name, value)) << item;
        undo_.push_back([name] { SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL); DeleteFileA(name.c_str()); });
    } else if (what == "folder") {
        EXPECT_TRUE(CreateDirectoryA(name.c_str(), NULL)) << item;
        undo_.push_back([name] { RemoveTree(name); });
    } else if (what == "delete") {
        EXPECT_TRUE(DeleteFileA(rest.c_str())) << item;
    } else if (what == "copysetup") {
        CreateDirectoryA(rest.c_str(), NULL);
        EXPECT_TRUE(CopyFileA(robot::EnvPath("SETUP_EXE").c_str(), (rest + "\\setup.exe").c_str(), FALSE)) << item;
    } else if (what == "readonly") {
        EXPECT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY)) << item;
    } else if (what == "version") {
        SetValue("HKCU\\Software\\Wine\\AppDefaults\\setup.exe|Version", REG_SZ, name);
    } else if (what == "env") {
        char saved[4096] = "";
        bool had = GetEnvironmentVariableA(name.c_str(), saved, sizeof saved) > 0;
        std::string old = saved;
        SetEnvironmentVariableA(name.c_str(), value.c_str());
        undo_.push_back([name, old, had] { SetEnvironmentVariableA(name.c_str(), had ? old.c_str() : NULL); });
    } else if (what == "dll") {
        // The fixture takes the system library's place for setup.exe only (a per-program override
        // makes Wine load the file); the real library comes back afterwards.
        char system[MAX_PATH];
        GetSystemDirectoryA(system, MAX_PATH);
        std::string target = std::string(system) + "\\" + name, saved = target + ".e2e-saved";
        ASSERT_TRUE(MoveFileExA(target.c_str(), saved.c_str(), MOVEFILE_REPLACE_EXISTING)) << item;
        EXPECT_TRUE(CopyFileA(robot::EnvPath(value.c_str()).c_str(), target.c_str(), FALSE)) << item;
        HKEY key;
        RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\setup.exe\\DllOverrides", &key);
        std::string module = name.substr(0, name.find('.'));
        RegSetValueExA(key, module.c_str(), 0, REG_SZ, (const BYTE *)"native", 7);
        RegCloseKey(key);
        undo_.push_back([target, saved] {
            RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\setup.exe\\DllOverrides");
            DeleteFileA(target.c_str());
            MoveFileExA(saved.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
        });
    } else if (what == "regdel") {
        SetValue(rest, REG_NONE, "");
    } else if (what == "event") {
        HANDLE event = CreateEventA(NULL, FALSE, FALSE, name.c_str());
        undo_.push_back([event] { CloseHandle(event); });
    } else if (what == "hold") {
        // Open without delete sharing, as a program that keeps a log or a scanner would.
        HANDLE file = CreateFileA(rest.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << item;
        undo_.push_back([file] { CloseHandle(file); });
    } else if (what == "copy") {
        EXPECT_TRUE(CopyFileA(robot::EnvPath(value.c_str()).c_str(), name.c_str(), FALSE)) << item;
        undo_.push_back([name] { DeleteFileA(name.c_str()); });
    } else if (what == "dword" || what == "sz") {
        SetValue(name, what == "dword" ? REG_DWORD : REG_SZ, value);
    } else if (what == "service") {
        SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = CreateServiceA(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                           SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, value.c_str(), NULL, NULL, NULL, NULL, NULL);
        EXPECT_NE(service, nullptr) << item << ": " << GetLastError();
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        services_.push_back(name);
    } else if (what == "device") {
        EXPECT_TRUE(MakeDevice(rest, SPDRP_HARDWAREID)) << item;
        devices_.push_back(rest);
    } else if (what == "installed") {
        InstallFirst();
    } else {
        ADD_FAILURE() << "unknown arrangement " << item;
    }
}

// A complete installation with the proposed answers, as the cases about uninstallation need.
void CaseRunner::InstallFirst()
{
    robot::Session session;
    ASSERT_TRUE(session.Start(vars_["{product}"] + "\\setup.exe", "", vars_["{product}"])) << session.LastError();
    robot::Window window;
    while (session.NextWindow(&window, kWindowTimeoutMs))
        session.Press(window, window.isMessageBox ? window.buttonIds.front() : IDOK);
    DWORD code = 99;
    ASSERT_TRUE(session.WaitExit(kWindowTimeoutMs, &code)) << session.LastError();
    ASSERT_EQ(code, 0u) << "the installation the case starts from failed";
    logsBefore_ = TraceLogs();
}

void CaseRunner::CaptureLogs()
{
    // A successful installation moves its trace log into the installation folder before its last box.
    std::vector<std::string> logs = NewTraceLogs(logsBefore_);
    logs.push_back(vars_["{dir}"] + "\\install.log");
    for (const std::string &log : logs) {
        std::string text = ReadFileText(log);
        if (!text.empty() || logs_.find(log) == logs_.end())
            logs_[log] = text;
    }
    std::vector<std::string> now = NewTraceLogs(logsBefore_);
    vars_["{log}"] = now.empty() ? "(no trace log)" : now.back();
    vars_["{keep}"] = "\n\nA trace log is saved to \"" + vars_["{log}"] + "\"\nIt may help you to determine a cause of "
                      "the problem.\nYou can send it to the author with an error report.\nIf you don't need a log, it "
                      "will be deleted.\n\nKeep the trace log file?";
}

bool IsProgressWindow(const robot::Window &window)
{
    return !window.isMessageBox && window.FindControl(1004) != nullptr;
}

const char *KindOf(const robot::Window &window)
{
    if (IsProgressWindow(window))
        return "progress";
    if (!window.isMessageBox)
        return window.className == "#32770" ? "dialog" : "window";
    return robot::IconName(window.icon);
}

bool CaseRunner::CheckDialog(robot::Session &session, const robot::Window &window, const std::string &checks)
{
    bool ok = true;
    for (const std::string &check : Split(checks, ';')) {
        size_t mark = check.find_first_of("=:");
        if (check.empty() || mark == std::string::npos)
            continue;
        int id = atoi(check.c_str());
        const robot::Control *control = window.FindControl(id);
        std::string wanted = check.substr(mark + 1), seen;
        if (control == nullptr)
            seen = "(no such control)";
        else if (check[mark] == '=')
            seen = session.ReadControlText(window, id);
        else
            seen = wanted.find("ticked") != std::string::npos ? (control->checked ? "ticked" : "not ticked")
                                                                : (control->visible ? "shown" : "hidden");
        if (!Matches(wanted, seen)) {
            ADD_FAILURE() << "control " << id << " shows \"" << seen << "\", expected \"" << wanted << "\" in "
                          << window.Describe();
            ok = false;
        }
    }
    return ok;
}

bool CaseRunner::CheckWindow(robot::Session &session, const robot::Window &window, const std::string &spec, bool uninstall)
{
    std::vector<std::string> fields = Split(spec, '|');
    if (fields.size() != 4) {
        ADD_FAILURE() << "a window is caption|kind|text|answer: " << spec;
        return false;
    }
    std::string caption = fields[0] == "~" ? ProductCaption(appName_, uninstall) : Expand(fields[0]);
    std::string kind = KindOf(window);
    bool ok = Matches(caption, window.caption) && kind == fields[1];
    if (ok && window.isMessageBox) {
        ok = Matches(Expand(fields[2]), window.text);
        std::string buttons;
        for (size_t i = 0; i < window.buttons.size(); i++) {
            bool isDefault = window.buttonIds[i] == window.defaultButton;
            buttons += (i ? "," : "") + std::string(isDefault ? "[" : "") + window.buttons[i] + (isDefault ? "]" : "");
        }
        std::string wanted = fields[3].substr(0, fields[3].find('>'));
        ok = ok && (wanted == "kill" || wanted == buttons);
    } else if (ok && (kind == "dialog" || kind == "progress")) {
        ok = CheckDialog(session, window, Expand(fields[2]));
    }
    if (!ok)
        ADD_FAILURE() << "expected " << Expand(spec) << "\n     saw " << window.Describe();
    return ok;
}

// Presses Enter as the keyboard would: on the control that has the focus.
bool PressEnter(const robot::Window &dialog)
{
    GUITHREADINFO info = { sizeof info };
    DWORD thread = GetWindowThreadProcessId(dialog.hwnd, NULL);
    if (!GetGUIThreadInfo(thread, &info) || info.hwndFocus == NULL)
        return false;
    PostMessageA(info.hwndFocus, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageA(info.hwndFocus, WM_KEYUP, VK_RETURN, 0xC01C0001);
    return true;
}

bool CaseRunner::Answer(robot::Session &session, const robot::Window &window, const std::string &answer)
{
    if (answer == "kill") {
        session.KillAll();
        return true;
    }
    if (answer == "wait")
        return true;
    if (window.isMessageBox) {
        size_t arrow = answer.find('>');
        int id = arrow == std::string::npos ? window.defaultButton : robot::ButtonNamed(window, answer.substr(arrow + 1));
        return session.Press(window, id);
    }
    bool ok = true;
    for (const std::string &action : Split(Expand(answer), ',')) {
        if (action == "accept" || action == "install")
            ok = session.Press(window, IDOK) && ok;
        else if (action == "decline" || action == "exit")
            ok = session.Press(window, IDCANCEL) && ok;
        else if (action == "enter")
            ok = PressEnter(window) && ok;
        else if (action == "close")
            ok = session.Close(window) && ok;
        else if (action == "advanced")
            ok = session.SetTick(window, 1005, true) && ok;
        else if (action.compare(0, 4, "dir=") == 0)
            ok = session.SetEditText(window, 1001, action.substr(4)) && ok;
        else if (action.compare(0, 6, "group=") == 0)
            ok = session.SetEditText(window, 1002, action.substr(6)) && ok;
        else
            ADD_FAILURE() << "unknown answer " << action;
    }
    return ok;
}

void CaseRunner::RunOne(const Run &run)
{
    std::string program = run.program.empty() ? vars_["{product}"] + "\\setup.exe" : Expand(run.program);
    std::string folder = run.folder.empty() ? program.substr(0, program.rfind('\\')) : Expand(run.folder);
    vars_["{uninstall}"] = RegistryValue(kUninstallKey + appName_ + " " + version_, "UninstallString");
    std::string arguments = Expand(run.arguments);
    bool uninstall = arguments.find("-u") != std::string::npos;
    SCOPED_TRACE("setup.exe " + arguments);
    robot::Session session;
    bool started = arguments.compare(0, 1, "=") == 0 ? session.StartWithLine(program, arguments.substr(1), folder)
                                                    : session.Start(program, arguments, folder);
    ASSERT_TRUE(started) << session.LastError();
    bool killed = false;
    for (const std::string &spec : run.windows) {
        robot::Window window;
        bool expectProgress = Split(spec, '|').size() > 1 && Split(spec, '|')[1] == "progress";
        bool found = session.NextWindow(&window, kWindowTimeoutMs);
        // A progress window comes and goes with its operation: it counts only where a case expects it.
        while (found && IsProgressWindow(window) && !expectProgress)
            found = session.NextWindow(&window, kWindowTimeoutMs);
        if (!found) {
            ADD_FAILURE() << "expected " << Expand(spec) << "\n     but " << session.LastError();
            break;
        }
        CaptureLogs();
        std::string answer = spec.substr(spec.rfind('|') + 1);
        if (!CheckWindow(session, window, spec, uninstall)) {
            session.KillAll();
            return;
        }
        Answer(session, window, answer);
        killed = killed || answer == "kill";
    }
    DWORD code = 0;
    robot::Window unexpected;
    bool ended = killed;
    while (!ended && !(ended = session.WaitExit(kWindowTimeoutMs, &code, &unexpected)) && IsProgressWindow(unexpected) &&
           session.LastError().compare(0, 17, "a window appeared") == 0)
        unexpected = robot::Window();
    if (!ended)
        ADD_FAILURE() << session.LastError();
    if (ended && !killed && (int)code != run.exitCode)
        ADD_FAILURE() << "exit code " << code << ", expected " << run.exitCode << " (" << session.ProcessSummary() << ")";
    if (killed != (run.exitCode == kKilled))
        ADD_FAILURE() << "a run ends with kill exactly when its exit code is kKilled";
    CaptureLogs();
    for (const robot::ProcessInfo &process : session.Processes())
        processes_.push_back(process);
}

std::vector<std::string> CaseRunner::LogTexts() const
{
    std::vector<std::string> texts;
    for (const auto &log : logs_)
        for (const std::string &line : SplitLines(log.second))
            texts.push_back(line.size() >= 19 ? line.substr(19) : line);
    return texts;
}

void CaseRunner::Expect(const std::string &factText)
{
    std::string fact = Expand(factText);
    std::string what = fact.substr(0, fact.find(':'));
    std::string rest = fact.substr(fact.find(':') + 1);
    std::string name = rest.substr(0, rest.find('=')), value = rest.find('=') == std::string::npos ? "" : rest.substr(rest.find('=') + 1);
    std::vector<std::string> texts = LogTexts();
    auto logged = [&](const std::string &pattern) {
        return std::any_of(texts.begin(), texts.end(), [&](const std::string &t) { return Matches(pattern, t); });
    };
    if (what == "exists") {
        EXPECT_TRUE(PathExists(rest)) << fact;
    } else if (what == "absent") {
        EXPECT_FALSE(PathExists(rest)) << fact;
    } else if (what == "content") {
        EXPECT_EQ(ReadFileText(name), value) << fact;
    } else if (what == "same") {
        EXPECT_EQ(ReadFileText(name), ReadFileText(value)) << fact;
    } else if (what == "files") {
        std::string names;
        for (const std::string &file : ListFolder(name + "\\*"))
            names += (names.empty() ? "" : ",") + file;
        EXPECT_EQ(names, value) << fact;
    } else if (what == "key" || what == "nokey") {
        EXPECT_EQ(RegistryKeyExists(rest), what == "key") << fact;
    } else if (what == "value") {
        EXPECT_EQ(RegistryValue(name.substr(0, name.find('|')), name.substr(name.find('|') + 1).c_str()), value) << fact;
    } else if (what == "journal") {
        std::string journal = ";\r\n; Caution!\r\n; Do not delete or modify this file. It is required to product "
                              "uninstallation.\r\n;\r\n\r\n";
        for (const std::string &line : Split(rest, ';'))
            journal += line + "\r\n";
        EXPECT_EQ(ReadFileText(vars_.at("{dir}") + "\\uninst.ini"), journal);
    } else if (what == "log" || what == "nolog") {
        std::string seen;
        for (const std::string &text : texts)
            seen += "\n  " + text;
        EXPECT_EQ(logged(rest), what == "log") << fact << "\nin the trace logs:" << seen;
    } else if (what == "lastlog") {
        std::vector<std::string> logs = NewTraceLogs(logsBefore_);
        std::vector<std::string> lines = logs.empty() ? std::vector<std::string>() : SplitLines(ReadFileText(logs.back()));
        EXPECT_TRUE(!lines.empty() && Matches(rest, lines.back().substr(19))) << fact;
    } else if (what == "lastline") {
        std::vector<std::string> lines = SplitLines(ReadFileText(name));
        EXPECT_TRUE(!lines.empty() && lines.back().size() >= 19 && Matches(value, lines.back().substr(19))) << fact;
    } else if (what == "undo") {
        std::vector<std::string> undone;
        for (const std::string &text : texts)
            if (text.compare(0, 8, "Deleted ") == 0)
                undone.push_back(text);
        EXPECT_EQ(undone, Split(rest, ';')) << fact;
    } else if (what == "logs") {
        EXPECT_EQ(NewTraceLogs(logsBefore_).size(), (size_t)atoi(rest.c_str())) << fact;
    } else if (what == "link") {
        std::vector<std::string> parts = Split(value, '|');
        CoInitialize(NULL);
        IShellLinkA *link = NULL;
        IPersistFile *file = NULL;
        char text[4][MAX_PATH] = {};
        std::wstring wide(name.begin(), name.end());
        bool loaded = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link)) &&
                      SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file)) && SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) &&
                      SUCCEEDED(link->GetPath(text[0], MAX_PATH, NULL, SLGP_RAWPATH)) && SUCCEEDED(link->GetArguments(text[1], MAX_PATH)) &&
                      SUCCEEDED(link->GetWorkingDirectory(text[2], MAX_PATH)) && SUCCEEDED(link->GetDescription(text[3], MAX_PATH));
        EXPECT_TRUE(loaded) << fact;
        for (size_t i = 0; loaded && i < parts.size() && i < 4; i++)
            EXPECT_EQ(lstrcmpiA(text[i], parts[i].c_str()), 0) << fact << ": " << text[i];
        if (file)
            file->Release();
        if (link)
            link->Release();
    } else if (what == "pending" || what == "nopending") {
        std::string pending = PendingRenames();
        std::replace(pending.begin(), pending.end(), '\0', '|');
        EXPECT_EQ(Matches("*" + rest + "*", pending), what == "pending") << fact << ": " << pending;
    } else if (what == "notemp") {
        EXPECT_EQ(TemporaryPrograms(), tempBefore_) << "the temporary program copies and batch files are gone";
    } else if (what == "service") {
        EXPECT_EQ(ServiceState(name), value) << fact;
        services_.push_back(name);
    } else if (what == "noservice") {
        EXPECT_EQ(ServiceState(rest), "absent") << fact;
        services_.push_back(rest);
    } else if (what == "unchanged") {
        std::string left;
        after_ = TakeSnapshot(kWithoutClasses);
        for (const std::string &line : Split(Leftovers(before_, after_), '\n')) {
            bool allowed = line.empty();
            for (const std::string &pattern : Split(rest, ';'))
                allowed = allowed || (!pattern.empty() && Matches(pattern, line));
            if (!allowed)
                left += line + "\n";
        }
        EXPECT_EQ(left, "") << "the machine is not as it was before the run";
    } else if (what == "devices") {
        EXPECT_EQ(PresentDevices(name).size(), (size_t)atoi(value.c_str())) << fact;
        devices_.push_back(name);
    } else if (what == "contains") {
        EXPECT_NE(ReadFileText(name).find(value), std::string::npos) << fact << ": " << ReadFileText(name);
    } else if (what == "secondary") {
        auto secondary = std::find_if(processes_.begin(), processes_.end(),
                                      [](const robot::ProcessInfo &p) { return robot::IsTemporaryCopy(p.exe) && p.exitKnown; });
        ASSERT_NE(secondary, processes_.end()) << fact;
        EXPECT_EQ((int)secondary->exitCode, atoi(rest.c_str())) << fact;
    } else if (what == "process") {
        EXPECT_TRUE(std::any_of(processes_.begin(), processes_.end(),
                                [&](const robot::ProcessInfo &p) { return lstrcmpiA(p.exe.c_str(), rest.c_str()) == 0; }))
            << fact;
    } else {
        ADD_FAILURE() << "unknown fact " << fact;
    }
}

void CaseRunner::Execute()
{
    for (const std::string &item : case_.arrange) {
        Arrange(item);
        if (::testing::Test::HasFatalFailure())
            return;
    }
    if (std::any_of(case_.expect.begin(), case_.expect.end(), [](const std::string &f) { return f.rfind("unchanged:", 0) == 0; })) {
        static bool warm = false;
        if (!warm)
            WarmUpWine();
        warm = true;
        before_ = TakeSnapshot(kWithoutClasses);
    }
    for (const Run &run : case_.runs)
        RunOne(run);
    for (const std::string &fact : case_.expect)
        Expect(fact);
    if (case_.check)
        case_.check();
}

}  // namespace

std::vector<std::string> With(std::vector<std::string> list, const std::vector<std::string> &more)
{
    list.insert(list.end(), more.begin(), more.end());
    return list;
}

std::string Script(const std::string &appName, const std::string &extra)
{
    return "[Main]\r\nAppName=" + appName + "\r\nAppVersion=1.0\r\nDefaultProgramGroup=" + appName +
           "\r\nDefaultInstallDir=%ProgramFilesDir%\\%AppName%\r\nStartMenuFolder=%CommonProgramsFolder%\r\n" + extra;
}

void RunCase(const Case &c)
{
    SCOPED_TRACE(c.name);
    CaseRunner runner(c);
    runner.Execute();
}

std::string CommonProgramsFolder()
{
    char folder[MAX_PATH] = "";
    SHGetSpecialFolderPathA(NULL, folder, CSIDL_COMMON_PROGRAMS, FALSE);
    return folder;
}

}  // namespace e2e
