#include "runner.h"
#include <setupapi.h>
#include <aclapi.h>
#include <shlobj.h>
#include <algorithm>
#include <map>
#include <sstream>
#include "ui/resource.h"

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
    for (const std::string &line : Split(script, '\n'))
        if (line.compare(0, key.size() + 1, key + "=") == 0)
            return line.substr(key.size() + 1, line.find_last_not_of('\r') - key.size());
    return "";
}

// Program copies and batch files in the temporary folder, and the uninstaller's folders in the
// system's: full paths.
std::vector<std::string> TemporaryPrograms()
{
    char windows[MAX_PATH];
    GetSystemWindowsDirectoryA(windows, MAX_PATH);
    const std::string folders[] = { TempFolder() + "\\", std::string(windows) + "\\Temp\\" };
    std::vector<std::string> paths;
    for (const std::string &pattern : { folders[0] + "*.EXE", folders[0] + "*.BAT", folders[1] + "brindlework_setup_*" })
        for (const std::string &name : ListFolder(pattern))
            paths.push_back(pattern.substr(0, pattern.rfind('\\') + 1) + name);
    return paths;
}

// The text as UTF-16, with "{U+XXXX}" standing for a character the ANSI code page may lack.
std::wstring Wide(const std::string &text)
{
    std::wstring wide;
    for (size_t at = 0; at < text.size();) {
        size_t escape = text.find("{U+", at);
        std::string plain = text.substr(at, escape == std::string::npos ? std::string::npos : escape - at);
        WCHAR buffer[1024];
        int length = MultiByteToWideChar(CP_ACP, 0, plain.c_str(), (int)plain.size(), buffer, 1024);
        wide.append(buffer, length);
        if (escape == std::string::npos)
            break;
        wide += (WCHAR)strtoul(text.c_str() + escape + 3, NULL, 16);
        at = text.find('}', escape) + 1;
    }
    return wide;
}

bool IsProgressWindow(const robot::Window &window)
{
    return !window.isMessageBox && window.FindControl(IDC_PROGRESS_TEXT) != nullptr;
}

std::string KindOf(const robot::Window &window)
{
    if (IsProgressWindow(window))
        return "progress";
    if (!window.isMessageBox)
        return window.className == "#32770" ? "dialog" : "window";
    return robot::IconName(window.icon);
}

std::string Buttons(const robot::Window &window)
{
    std::string buttons;
    for (size_t i = 0; i < window.buttons.size(); i++) {
        bool isDefault = window.buttonIds[i] == window.defaultButton;
        buttons += (i ? "," : "") + std::string(isDefault ? "[" : "") + window.buttons[i] + (isDefault ? "]" : "");
    }
    return buttons;
}

// Presses Enter as the keyboard would: on the control that has the focus.
bool PressEnter(const robot::Window &dialog)
{
    GUITHREADINFO info = { sizeof info };
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog.hwnd, NULL), &info) || info.hwndFocus == NULL)
        return false;
    PostMessageA(info.hwndFocus, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    return PostMessageA(info.hwndFocus, WM_KEYUP, VK_RETURN, 0xC01C0001);
}

// "kind:name=value", its placeholders expanded.
struct Item {
    std::string rest, name, value;
};

// One case as it runs: what it arranged (to be taken back), the runs' logs and processes.
struct CaseRun {
    const Case &c;
    std::string appName, version;
    std::map<std::string, std::string> vars;
    std::vector<std::string> logsBefore, tempBefore, logLines;
    std::vector<std::function<void()>> undo;
    std::vector<robot::ProcessInfo> processes;
    std::vector<std::string> services, devices;
    Snapshot before, after;
    int progressWindows = 0;   // progress windows the runs showed

    std::string Expand(const std::string &text) const;
    void SetValue(const std::string &path, DWORD type, const std::string &data);
    bool Logged(const std::string &pattern) const
    {
        return std::any_of(logLines.begin(), logLines.end(), [&](const std::string &line) { return Matches(pattern, line); });
    }
};

std::string CaseRun::Expand(const std::string &text) const
{
    std::string result = text;
    for (const auto &var : vars)
        for (size_t at = result.find(var.first); at != std::string::npos; at = result.find(var.first, at + var.second.size()))
            result.replace(at, var.first.size(), var.second);
    for (size_t at = result.find("{short:"); at != std::string::npos; at = result.find("{short:", at + 1)) {
        size_t close = result.find('}', at);
        char shortPath[MAX_PATH] = "";
        GetShortPathNameA(result.substr(at + 7, close - at - 7).c_str(), shortPath, MAX_PATH);
        result.replace(at, close + 1 - at, shortPath);
    }
    return result;
}

// Sets (or, with REG_NONE, deletes) the value "KEY|NAME", and takes it back afterwards.
void CaseRun::SetValue(const std::string &path, DWORD type, const std::string &data)
{
    RegistryPath key = SplitRegistryPath(path.substr(0, path.find('|')));
    std::string name = path.substr(path.find('|') + 1);
    char old[1024];
    DWORD oldType = REG_NONE, oldSize = sizeof old, number = strtoul(data.c_str(), NULL, 0);
    bool had = RegGetValueA(key.root, key.subkey.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &oldType, old, &oldSize) == ERROR_SUCCESS;
    std::wstring text = Wide(data), wideName = Wide(name), subkey = Wide(key.subkey);
    LONG done = type == REG_NONE ? RegDeleteKeyValueA(key.root, key.subkey.c_str(), name.c_str())
              : type == REG_DWORD ? RegSetKeyValueA(key.root, key.subkey.c_str(), name.c_str(), type, &number, 4)
              : RegSetKeyValueW(key.root, subkey.c_str(), wideName.c_str(), type, text.c_str(), (DWORD)(text.size() + 1) * 2);
    EXPECT_EQ(done, ERROR_SUCCESS) << path;
    std::string saved(old, had ? oldSize : 0);
    undo.push_back([=] {
        if (had)
            RegSetKeyValueA(key.root, key.subkey.c_str(), name.c_str(), oldType, saved.data(), (DWORD)saved.size());
        else
            RegDeleteKeyValueA(key.root, key.subkey.c_str(), name.c_str());
    });
}

// A complete installation with the proposed answers, as the cases about uninstallation need: of
// the case's product, or of the product in the folder named (an earlier version).
void InstallFirst(CaseRun &r, const Item &i)
{
    std::string product = i.rest.empty() ? r.vars["{product}"] : i.rest;
    robot::Session session;
    ASSERT_TRUE(session.Start(product + "\\setup.exe", "", product)) << session.LastError();
    robot::Window window;
    while (session.NextWindow(&window, kWindowTimeoutMs))
        session.Press(window, window.isMessageBox ? window.buttonIds.front() : IDOK);
    DWORD code = 99;
    ASSERT_TRUE(session.WaitExit(kWindowTimeoutMs, &code)) << session.LastError();
    ASSERT_EQ(code, 0u) << "the installation the case starts from failed";
    r.logsBefore = TraceLogs();
}

// The fixture takes the system library's place for setup.exe only (a per-program override makes
// Wine load the file); the real library comes back afterwards.
void ReplaceLibrary(CaseRun &r, const Item &i)
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    std::string target = std::string(system) + "\\" + i.name, saved = target + ".e2e-saved";
    ASSERT_TRUE(MoveFileExA(target.c_str(), saved.c_str(), MOVEFILE_REPLACE_EXISTING)) << target;
    EXPECT_TRUE(CopyFileA(robot::EnvPath(i.value.c_str()).c_str(), target.c_str(), FALSE)) << target;
    r.SetValue("HKCU\\Software\\Wine\\AppDefaults\\setup.exe\\DllOverrides|" + i.name.substr(0, i.name.find('.')), REG_SZ, "native");
    r.undo.push_back([target, saved] {
        DeleteFileA(target.c_str());
        MoveFileExA(saved.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
    });
}

struct Kind {
    const char *name;
    void (*run)(CaseRun &r, const Item &i);
};

const Kind kArrangements[] = {
    { "file", [](CaseRun &r, const Item &i) {
          EXPECT_TRUE(WriteTextFile(i.name, i.value)) << i.name;
          r.undo.push_back([=] { SetFileAttributesA(i.name.c_str(), FILE_ATTRIBUTE_NORMAL); DeleteFileA(i.name.c_str()); });
      } },
    { "folder", [](CaseRun &r, const Item &i) {
          std::wstring folder = Wide(i.name);
          EXPECT_TRUE(CreateDirectoryW(folder.c_str(), NULL)) << i.name;
          r.undo.push_back([=] {
              WCHAR shortForm[MAX_PATH];
              char named[MAX_PATH];
              GetShortPathNameW(folder.c_str(), shortForm, MAX_PATH);
              WideCharToMultiByte(CP_ACP, 0, shortForm, -1, named, MAX_PATH, NULL, NULL);
              RemoveTree(named);
          });
      } },
    // A file or folder moved away (and back afterwards).
    { "move", [](CaseRun &r, const Item &i) {
          EXPECT_TRUE(MoveFileA(i.name.c_str(), i.value.c_str())) << i.name;
          r.undo.push_back([=] { MoveFileA(i.value.c_str(), i.name.c_str()); });
      } },
    // The ANSI code page the case is written for: the whole test program runs in that locale.
    { "locale", [](CaseRun &, const Item &i) { ASSERT_EQ(GetACP(), strtoul(i.rest.c_str(), NULL, 10)) << "run it in that locale"; } },
    { "delete", [](CaseRun &, const Item &i) { EXPECT_TRUE(DeleteFileA(i.rest.c_str())) << i.rest; } },
    { "copy", [](CaseRun &r, const Item &i) {
          EXPECT_TRUE(CopyFileA(robot::EnvPath(i.value.c_str()).c_str(), i.name.c_str(), FALSE)) << i.name;
          r.undo.push_back([=] { DeleteFileA(i.name.c_str()); });
      } },
    // Open without delete sharing, as a program that keeps a log or a scanner would.
    { "hold", [](CaseRun &r, const Item &i) {
          HANDLE file = CreateFileA(i.rest.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
          EXPECT_NE(file, INVALID_HANDLE_VALUE) << i.rest;
          r.undo.push_back([file] { CloseHandle(file); });
      } },
    // Wine tells every program started from now on: setup.exe, its temporary copy, the interpreter.
    { "version", [](CaseRun &r, const Item &i) { r.SetValue("HKCU\\Software\\Wine|Version", REG_SZ, i.rest); } },
    { "env", [](CaseRun &r, const Item &i) {
          WCHAR saved[4096] = L"";
          std::wstring name = Wide(i.name);
          bool had = GetEnvironmentVariableW(name.c_str(), saved, 4096) > 0;
          std::wstring old = saved;
          SetEnvironmentVariableW(name.c_str(), Wide(i.value).c_str());
          r.undo.push_back([=] { SetEnvironmentVariableW(name.c_str(), had ? old.c_str() : NULL); });
      } },
    { "dll", ReplaceLibrary },
    { "sz", [](CaseRun &r, const Item &i) { r.SetValue(i.name, REG_SZ, i.value); } },
    { "dword", [](CaseRun &r, const Item &i) { r.SetValue(i.name, REG_DWORD, i.value); } },
    { "regdel", [](CaseRun &r, const Item &i) { r.SetValue(i.rest, REG_NONE, ""); } },
    { "event", [](CaseRun &r, const Item &i) {
          HANDLE event = CreateEventA(NULL, FALSE, FALSE, i.rest.c_str());
          r.undo.push_back([event] { CloseHandle(event); });
      } },
    { "service", [](CaseRun &r, const Item &i) {
          EXPECT_TRUE(MakeService(i.name, i.value)) << i.name;
          r.services.push_back(i.name);
      } },
    { "device", [](CaseRun &r, const Item &i) {
          EXPECT_TRUE(MakeDevice(i.rest, SPDRP_HARDWAREID)) << i.rest;
          r.devices.push_back(i.rest);
      } },
    { "installed", InstallFirst },
    // A packaged product (tools/package.sh) over the case's folder: its own setup.exe included.
    { "package", [](CaseRun &r, const Item &i) {
          EXPECT_TRUE(CopyTree(robot::EnvPath(i.rest.c_str()), r.vars["{product}"])) << i.rest;
      } },
    // The file with its first FROM replaced by TO, as someone who tampers with it would.
    { "edit", [](CaseRun &, const Item &i) {
          std::string text = ReadFileText(i.name), from = i.value.substr(0, i.value.find('>'));
          ASSERT_NE(text.find(from), std::string::npos) << i.name;
          EXPECT_TRUE(WriteTextFile(i.name, Replaced(text, from, i.value.substr(i.value.find('>') + 1)))) << i.name;
      } },
    // A file of that many megabytes of zeros, made sparse: it takes no time to make or to read.
    { "big", [](CaseRun &r, const Item &i) {
          HANDLE file = CreateFileA(i.name.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
          LARGE_INTEGER size;
          size.QuadPart = (LONGLONG)strtoul(i.value.c_str(), NULL, 10) << 20;
          EXPECT_TRUE(file != INVALID_HANDLE_VALUE && SetFilePointerEx(file, size, NULL, FILE_BEGIN) && SetEndOfFile(file)) << i.name;
          CloseHandle(file);
          r.undo.push_back([=] { DeleteFileA(i.name.c_str()); });
      } },
    // The file, written as the case's text (the ANSI code page), saved again as an editor would:
    // utf8, utf8bom or utf16.
    { "encode", [](CaseRun &, const Item &i) {
          std::wstring text = Wide(ReadFileText(i.name));
          std::string bytes = i.value == "utf16" ? "\xFF\xFE" : i.value == "utf8bom" ? "\xEF\xBB\xBF" : "";
          if (i.value == "utf16") {
              bytes.append((const char *)text.data(), text.size() * sizeof(WCHAR));
          } else {
              char utf8[8192];
              int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), utf8, sizeof utf8, NULL, NULL);
              bytes.append(utf8, length);
          }
          EXPECT_TRUE(WriteTextFile(i.name, bytes)) << i.name;
      } },
    // Every user may change the folder, as a folder at the drive's root lets them.
    { "open", [](CaseRun &, const Item &i) {
          EXPLICIT_ACCESS_A everyone = {};
          BuildExplicitAccessWithNameA(&everyone, (char *)"Everyone", GENERIC_ALL, SET_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT);
          PACL acl = NULL;
          EXPECT_EQ(SetEntriesInAclA(1, &everyone, NULL, &acl), (DWORD)ERROR_SUCCESS);
          EXPECT_EQ(SetNamedSecurityInfoA((char *)i.rest.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, NULL, NULL, acl, NULL),
                    (DWORD)ERROR_SUCCESS) << i.rest;
          LocalFree(acl);
      } },
};

void CheckLink(CaseRun &, const Item &i)
{
    Shortcut link;
    EXPECT_TRUE(ReadShortcut(i.name, &link)) << i.name;
    std::vector<std::string> wanted = Split(i.value, '|');
    const std::string seen[] = { link.target, link.arguments, link.folder, link.description };
    for (size_t n = 0; n < wanted.size() && n < 4; n++)
        EXPECT_EQ(lstrcmpiA(seen[n].c_str(), wanted[n].c_str()), 0) << seen[n];
}

void CheckUnchanged(CaseRun &r, const Item &i)
{
    std::string left;
    r.after = TakeSnapshot(kWithoutClasses);
    std::vector<std::string> allowed = Split(i.rest, ';');
    for (const std::string &line : Split(Leftovers(r.before, r.after), '\n'))
        if (!line.empty() && std::none_of(allowed.begin(), allowed.end(), [&](const std::string &p) { return !p.empty() && Matches(p, line); }))
            left += line + "\n";
    EXPECT_EQ(left, "") << "the machine is not as it was before the run";
}

// The runs' log lines, each on a line of its own (a printed vector would be cut short).
std::string AllLines(const std::vector<std::string> &lines)
{
    std::string text = "\nthe trace logs:\n";
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

const Kind kFacts[] = {
    { "exists", [](CaseRun &, const Item &i) { EXPECT_TRUE(PathExists(i.rest)); } },
    { "absent", [](CaseRun &, const Item &i) { EXPECT_FALSE(PathExists(i.rest)); } },
    { "content", [](CaseRun &, const Item &i) { EXPECT_EQ(ReadFileText(i.name), i.value); } },
    { "contains", [](CaseRun &, const Item &i) { EXPECT_NE(ReadFileText(i.name).find(i.value), std::string::npos); } },
    { "files", [](CaseRun &, const Item &i) {
          std::string names;
          for (const std::string &file : ListFolder(i.name + "\\*"))
              names += (names.empty() ? "" : ",") + file;
          EXPECT_EQ(names, i.value);
      } },
    { "key", [](CaseRun &, const Item &i) { EXPECT_TRUE(RegistryKeyExists(i.rest)); } },
    { "nokey", [](CaseRun &, const Item &i) { EXPECT_FALSE(RegistryKeyExists(i.rest)); } },
    { "value", [](CaseRun &, const Item &i) {
          EXPECT_EQ(RegistryValue(i.name.substr(0, i.name.find('|')), i.name.substr(i.name.find('|') + 1).c_str()), i.value);
      } },
    { "journal", [](CaseRun &r, const Item &i) {
          std::string journal = kJournalHeader;
          for (const std::string &line : Split(i.rest, ';'))
              journal += line + "\r\n";
          EXPECT_EQ(ReadFileText(r.vars["{dir}"] + "\\uninst.ini"), journal);
      } },
    { "log", [](CaseRun &r, const Item &i) { EXPECT_TRUE(r.Logged(i.rest)) << AllLines(r.logLines); } },
    { "nolog", [](CaseRun &r, const Item &i) { EXPECT_FALSE(r.Logged(i.rest)) << AllLines(r.logLines); } },
    { "undo", [](CaseRun &r, const Item &i) {
          std::vector<std::string> undone;
          for (const std::string &line : r.logLines)
              if (line.compare(0, 8, "Deleted ") == 0)
                  undone.push_back(line);
          EXPECT_EQ(undone, Split(i.rest, ';'));
      } },
    { "logs", [](CaseRun &r, const Item &i) { EXPECT_EQ(NewTraceLogs(r.logsBefore).size(), (size_t)atoi(i.rest.c_str())); } },
    { "link", CheckLink },
    { "pending", [](CaseRun &r, const Item &i) {
          EXPECT_TRUE(Matches("*" + i.rest + "*", PendingRenames())) << PendingRenames() << AllLines(r.logLines);
      } },
    { "progress", [](CaseRun &r, const Item &i) { EXPECT_EQ(r.progressWindows, atoi(i.rest.c_str())) << "progress windows"; } },
    { "notemp", [](CaseRun &r, const Item &) { EXPECT_EQ(TemporaryPrograms(), r.tempBefore) << "program copies or batch files left"; } },
    { "service", [](CaseRun &r, const Item &i) {
          EXPECT_EQ(ServiceState(i.name), i.value);
          r.services.push_back(i.name);
      } },
    { "unchanged", CheckUnchanged },
    { "devices", [](CaseRun &r, const Item &i) {
          EXPECT_EQ(PresentDevices(i.name).size(), (size_t)atoi(i.value.c_str()));
          r.devices.push_back(i.name);
      } },
    { "secondary", [](CaseRun &r, const Item &i) {
          auto copy = std::find_if(r.processes.begin(), r.processes.end(),
                                   [](const robot::ProcessInfo &p) { return robot::IsTemporaryCopy(p.exe) && p.exitKnown; });
          ASSERT_NE(copy, r.processes.end()) << "no second uninstaller ran";
          EXPECT_EQ((int)copy->exitCode, atoi(i.rest.c_str()));
      } },
};

// Runs the item of the table whose kind it names.
template <size_t N>
void Apply(const Kind (&table)[N], CaseRun &r, const std::string &text)
{
    SCOPED_TRACE(r.Expand(text));
    std::string kind = text.substr(0, text.find(':'));
    Item item;
    item.rest = text.find(':') == std::string::npos ? "" : r.Expand(text.substr(text.find(':') + 1));
    item.name = item.rest.substr(0, item.rest.find('='));
    item.value = item.rest.find('=') == std::string::npos ? "" : item.rest.substr(item.rest.find('=') + 1);
    const Kind *found = std::find_if(table, table + N, [&](const Kind &k) { return kind == k.name; });
    if (found == table + N)
        ADD_FAILURE() << "unknown kind " << kind;
    else
        found->run(r, item);
}

const struct { const char *name; int id; } kControls[] = {
    { "license", IDC_LICENSE_TEXT }, { "dir", IDC_INSTALL_DIR }, { "group", IDC_PROGRAM_GROUP }, { "warning", IDC_WARNING },
    { "progress", IDC_PROGRESS_TEXT }, { "advanced", IDC_ADVANCED_USER }, { "help", IDC_HELP_BUTTON }, { "cancel", IDCANCEL },
};

bool CheckDialog(robot::Session &session, const robot::Window &window, const std::string &checks)
{
    bool ok = true;
    for (const std::string &check : Split(checks, ';')) {
        size_t mark = check.find_first_of("=:");
        if (mark == std::string::npos)
            continue;
        auto named = std::find_if(std::begin(kControls), std::end(kControls), [&](const auto &c) { return check.substr(0, mark) == c.name; });
        const robot::Control *control = named != std::end(kControls) ? window.FindControl(named->id) : nullptr;
        std::string wanted = check.substr(mark + 1), seen = "(no such control)";
        if (control != nullptr && check[mark] == '=')
            seen = session.ReadControlText(window, control->id);
        else if (control != nullptr)
            seen = wanted.find("ticked") != std::string::npos ? (control->checked ? "ticked" : "not ticked")
                                                                : (control->visible ? "shown" : "hidden");
        if (!Matches(wanted, seen))
            ADD_FAILURE() << "control " << check.substr(0, mark) << " shows \"" << seen << "\", expected \"" << wanted << "\"";
        ok = ok && Matches(wanted, seen);
    }
    return ok;
}

bool CheckWindow(CaseRun &r, robot::Session &session, const robot::Window &window, const std::string &spec, bool uninstall)
{
    std::vector<std::string> fields = Split(spec, '|');
    if (fields.size() != 4) {
        ADD_FAILURE() << "a window is caption|kind|text|answer: " << spec;
        return false;
    }
    std::string caption = fields[0] == "~" ? r.appName.substr(0, 100) + "*" + (uninstall ? " uninstallation" : " installation")
                                           : r.Expand(fields[0]);
    std::string answer = fields[3].substr(0, fields[3].find('>'));
    bool ok = Matches(caption, window.caption) && KindOf(window) == fields[1];
    if (ok && window.isMessageBox)
        ok = Matches(r.Expand(fields[2]), window.text) && (answer == "kill" || answer == Buttons(window));
    else if (ok && fields[1] != "window")
        ok = CheckDialog(session, window, r.Expand(fields[2]));
    if (!ok)
        ADD_FAILURE() << "expected " << r.Expand(spec) << "\n     saw " << window.Describe();
    return ok;
}

void Answer(CaseRun &r, robot::Session &session, const robot::Window &window, const std::string &answer)
{
    size_t arrow = answer.find('>');
    if (answer == "kill")
        return session.KillAll();
    if (answer == "wait")
        return;
    if (window.isMessageBox) {
        session.Press(window, arrow == std::string::npos ? window.defaultButton : robot::ButtonNamed(window, answer.substr(arrow + 1)));
        return;
    }
    static const struct { const char *action; int control; } kPresses[] = {
        { "accept", IDOK }, { "install", IDOK }, { "decline", IDCANCEL }, { "exit", IDCANCEL }, { "cancel", IDCANCEL },
    };
    for (const std::string &action : Split(r.Expand(answer), ',')) {
        auto press = std::find_if(std::begin(kPresses), std::end(kPresses), [&](const auto &p) { return action == p.action; });
        bool done = press != std::end(kPresses) ? session.Press(window, press->control)
                  : action == "enter" ? PressEnter(window)
                  : action == "close" ? session.Close(window)
                  : action == "advanced" ? session.SetTick(window, IDC_ADVANCED_USER, true)
                  : action.compare(0, 4, "dir=") == 0 ? session.SetEditText(window, IDC_INSTALL_DIR, action.substr(4))
                  : action.compare(0, 6, "group=") == 0 && session.SetEditText(window, IDC_PROGRAM_GROUP, action.substr(6));
        EXPECT_TRUE(done) << "cannot " << action << ": " << session.LastError();
    }
}

// Waits for the end of a run, passing over progress windows, which come and go with their work;
// a silent run must show none.
bool WaitEnd(CaseRun &r, robot::Session &session, DWORD *code, bool silent)
{
    robot::Window unexpected;
    for (;;) {
        if (session.WaitExit(kWindowTimeoutMs, code, &unexpected))
            return true;
        if (silent || !IsProgressWindow(unexpected) || session.LastError().compare(0, 17, "a window appeared") != 0)
            return false;
        r.progressWindows++;
        unexpected = robot::Window();
    }
}

// No box stands beside a progress window of the program: it hides while the box shows.
void ExpectNoProgressBeside(robot::Session &session, const robot::Window &box)
{
    struct Search {
        std::vector<DWORD> pids;
        HWND visible = NULL;
    } search = { session.Pids() };
    EnumWindows([](HWND window, LPARAM data) -> BOOL {
        Search *s = (Search *)data;
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (std::find(s->pids.begin(), s->pids.end(), pid) != s->pids.end() && IsWindowVisible(window) &&
            GetDlgItem(window, IDC_PROGRESS_TEXT) != NULL)
            s->visible = window;
        return s->visible == NULL;
    }, (LPARAM)&search);
    EXPECT_EQ(search.visible, (HWND)NULL) << "a progress window beside " << box.Describe();
}

void RunOne(CaseRun &r, const Run &run)
{
    std::string program = run.program.empty() ? r.vars["{product}"] + "\\setup.exe" : r.Expand(run.program);
    std::string folder = run.folder.empty() ? program.substr(0, program.rfind('\\')) : r.Expand(run.folder);
    r.vars["{uninstall}"] = RegistryValue(kUninstallKey + r.appName + " " + r.version, "UninstallString");
    r.vars["{quiet}"] = RegistryValue(kUninstallKey + r.appName + " " + r.version, "QuietUninstallString");
    std::string arguments = r.Expand(run.arguments);
    bool silent = (" " + arguments + " ").find(" -s ") != std::string::npos;
    SCOPED_TRACE("setup.exe " + arguments);
    TraceLogWatch logs;
    robot::Session session;
    bool started = arguments.compare(0, 1, "=") == 0 ? session.StartWithLine(program, arguments.substr(1), folder)
                                                    : session.Start(program, arguments, folder);
    ASSERT_TRUE(started) << session.LastError();
    bool killed = false, ok = true;
    for (const std::string &spec : run.windows) {
        robot::Window window;
        bool found = session.NextWindow(&window, kWindowTimeoutMs);
        // A progress window counts only where a case expects it.
        while (found && IsProgressWindow(window) && spec.find("|progress|") == std::string::npos) {
            r.progressWindows++;
            found = session.NextWindow(&window, kWindowTimeoutMs);
        }
        r.progressWindows += found && IsProgressWindow(window);
        if (found && window.isMessageBox)
            ExpectNoProgressBeside(session, window);
        logs.Look();
        if (!found)
            ADD_FAILURE() << "expected " << r.Expand(spec) << "\n     but " << session.LastError();
        if (!(ok = found && CheckWindow(r, session, window, spec, arguments.find("-u") != std::string::npos)))
            break;
        Answer(r, session, window, spec.substr(spec.rfind('|') + 1));
        killed = killed || Matches("*|kill", spec);
    }
    DWORD code = 0;
    if (!ok)
        session.KillAll();
    else if (!killed)
        EXPECT_TRUE(WaitEnd(r, session, &code, silent)) << session.LastError();
    EXPECT_TRUE(!ok || killed || (int)code == run.exitCode) << "exit code " << code << " (" << session.ProcessSummary() << ")";
    EXPECT_EQ(killed, run.exitCode == kKilled) << "a run ends with kill exactly when its exit code is kKilled";
    for (const auto &log : logs.Collect())
        for (const std::string &line : SplitLines(log.second.text))
            r.logLines.push_back(line.size() >= 19 ? line.substr(19) : line);
    const std::vector<robot::ProcessInfo> processes = session.Processes();
    r.processes.insert(r.processes.end(), processes.begin(), processes.end());
}

// yyyymmdd
std::string Today()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[16];
    wsprintfA(text, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    return text;
}

void Start(CaseRun &r)
{
    r.appName = ScriptValue(r.c.script, "AppName");
    r.version = ScriptValue(r.c.script, "AppVersion");
    std::string product = "C:\\e2e\\" + CaseName(::testing::TestParamInfo<Case>(r.c, 0)).substr(0, 40);
    r.vars = { { "{product}", product }, { "{dir}", "C:\\Program Files\\" + r.appName }, { "{common}", CommonProgramsFolder() },
               { "{group}", CommonProgramsFolder() + "\\" + ScriptValue(r.c.script, "DefaultProgramGroup") },
               { "{temp}", TempFolder() }, { "{testservice}", robot::EnvPath("TEST_SERVICE_EXE") },
               { "{keep}", "\n\nA trace log is saved to *\nKeep the trace log file?" }, { "{today}", Today() } };
    r.vars["{kept}"] = "\n\nA trace log is saved to \"" + r.vars["{dir}"] + "\\install.log\"*error report.";
    CreateDirectoryA("C:\\e2e", NULL);
    RemoveTree(product);
    CreateDirectoryA(product.c_str(), NULL);
    EXPECT_TRUE(CopyFileA(robot::EnvPath("SETUP_EXE").c_str(), (product + "\\setup.exe").c_str(), FALSE)) << product;
    if (!r.c.script.empty())
        WriteTextFile(product + "\\setup.ini", r.Expand(r.c.script));
    r.logsBefore = TraceLogs();
    r.tempBefore = TemporaryPrograms();
}

// What should not be there is the case's own leftover: it must not disturb the next case.
void Finish(CaseRun &r)
{
    for (auto undo = r.undo.rbegin(); undo != r.undo.rend(); ++undo)
        (*undo)();
    for (const std::string &service : r.services)
        DeleteServiceNamed(service);
    for (const std::string &device : r.devices)
        RemoveDevices(device);
    if (!r.before.empty() && r.after.empty())
        r.after = TakeSnapshot(kWithoutClasses);
    TakeBackAdditions(CompareSnapshots(r.before, r.after));
    for (const std::string &fact : r.c.expect)
        if (fact.compare(0, 7, "absent:") == 0)
            RemoveTree(r.Expand(fact.substr(7)));
    for (const std::string &log : NewTraceLogs(r.logsBefore))
        DeleteFileA(log.c_str());
    for (const std::string &path : TemporaryPrograms())
        if (std::find(r.tempBefore.begin(), r.tempBefore.end(), path) == r.tempBefore.end())
            RemoveTree(path);
    ClearPendingRenames();
    // Without a product name {dir} and {group} would be Program Files and the Start Menu themselves.
    for (const char *var : { "{dir}", "{group}", "{product}" })
        if (!r.appName.empty() || lstrcmpA(var, "{product}") == 0)
            RemoveTree(r.vars[var]);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kUninstallKey).substr(5) + r.appName + " " + r.version).c_str());
}

}  // namespace

const char kYesToInstall[] = "~|question|* will be installed on your computer.\nDo you want to continue?|Yes,[No]>Yes";
const char kOptionsInstall[] = "~|dialog||install";
const char kInstallDone[] = "~|information|Installation completed successfully.|[OK]";
const char kInstallAborted[] = "~|error|Installation aborted.{keep}|Yes,[No]>No";
// The second process, which does the work, knows no product name: its boxes say "Setup".
const char kYesToUninstall[] = "~|question|Do you really want to uninstall *?|Yes,[No]>Yes";
const char kJournalHeader[] = ";\r\n; Caution!\r\n; Do not delete or modify this file. It is required to product uninstallation.\r\n;\r\n\r\n";
const char kUninstallDone[] = "Setup|information|Uninstallation completed successfully.|[OK]";

std::vector<std::string> With(std::vector<std::string> list, const std::vector<std::string> &more)
{
    list.insert(list.end(), more.begin(), more.end());
    return list;
}

std::string Ansi(const char *utf8)
{
    WCHAR wide[1024];
    char ansi[2048];
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 1024);
    WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, sizeof ansi, NULL, NULL);
    return ansi;
}

std::string Replaced(std::string text, const std::string &from, const std::string &to)
{
    return text.replace(text.find(from), from.size(), to);
}

std::string Script(const std::string &appName, const std::string &extra)
{
    return "[Main]\r\nAppName=" + appName + "\r\nAppVersion=1.0\r\nDefaultProgramGroup=" + appName +
           "\r\nDefaultInstallDir=%ProgramFilesDir%\\%AppName%\r\nStartMenuFolder=%CommonProgramsFolder%\r\n" + extra;
}

void RunCase(const Case &c)
{
    CaseRun r{ c };
    Start(r);
    for (size_t n = 0; n < c.arrange.size() && !::testing::Test::HasFatalFailure(); n++)
        Apply(kArrangements, r, c.arrange[n]);
    if (::testing::Test::HasFatalFailure())
        return Finish(r);
    if (std::any_of(c.expect.begin(), c.expect.end(), [](const std::string &f) { return f.rfind("unchanged:", 0) == 0; })) {
        static bool warm = false;
        if (!warm)
            WarmUpWine();
        warm = true;
        r.before = TakeSnapshot(kWithoutClasses);
    }
    for (const Run &run : c.runs)
        RunOne(r, run);
    for (const std::string &fact : c.expect)
        Apply(kFacts, r, fact);
    if (c.check)
        c.check();
    Finish(r);
}

std::string CommonProgramsFolder()
{
    char folder[MAX_PATH] = "";
    SHGetSpecialFolderPathA(NULL, folder, CSIDL_COMMON_PROGRAMS, FALSE);
    return folder;
}

std::string CaseName(const ::testing::TestParamInfo<Case> &info)
{
    std::string name;
    for (char c : info.param.name)
        name += isalnum((unsigned char)c) ? c : '_';
    return name;
}

void PrintTo(const Case &c, std::ostream *out)
{
    *out << c.name;
}

}  // namespace e2e
