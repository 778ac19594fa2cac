// boxer: a small GUI program the robot's self-test drives. Its command line is a list of steps
// carried out in order:
//   --out PATH                    answers are appended to PATH, one line per box or dialog
//   box FLAGS CAPTION TEXT        MessageBoxA(GetDesktopWindow(), TEXT, CAPTION, FLAGS), FLAGS in
//                                 decimal; writes "box ANSWER"; "\n" in CAPTION or TEXT is a line
//                                 break and "\\" a backslash
//   dialog CAPTION EDITTEXT       a modal dialog with an edit (id 100, starts with EDITTEXT), a
//                                 check box (id 101), OK and Cancel; writes
//                                 "dialog ANSWER CHECKED EDITTEXT"
//   child [ STEPS ]               runs a copy of itself with STEPS (and --out) and waits for it
//   spawn [ STEPS ]               the same without waiting
//   open FILE PARAMS              ShellExecuteA(NULL, "open", FILE, PARAMS, ...), as a program
//                                 opens its read-me with "open notepad.exe README"; writes
//                                 "open OK" or "open failed CODE"
//   sleep MS                      Sleep(MS)
//   exit CODE                     ends at once with CODE (otherwise the exit code is 0)
// Brackets nest, so a child may have children of its own.
#include <windows.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

const int kIdEdit = 100;
const int kIdCheck = 101;

std::string g_outPath;

std::string Unescape(const char *s)
{
    std::string r;
    for (; *s; s++) {
        if (s[0] == '\\' && s[1] == 'n') {
            r += '\n';
            s++;
        } else if (s[0] == '\\' && s[1] == '\\') {
            r += '\\';
            s++;
        } else {
            r += *s;
        }
    }
    return r;
}

// Quotes one argument so that the C runtime's parser gives it back unchanged.
std::string QuoteArg(const std::string &arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos)
        return arg;
    std::string r = "\"";
    size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            slashes++;
            continue;
        }
        r.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        slashes = 0;
        r += c;
    }
    r.append(slashes * 2, '\\');
    return r + "\"";
}

void WriteResult(const std::string &line)
{
    if (g_outPath.empty())
        return;
    // Several copies of boxer may append to the same file; each writes a whole line at once.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int i = 0; i < 50 && file == INVALID_HANDLE_VALUE; i++) {
        file = CreateFileA(g_outPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE)
            Sleep(20);
    }
    if (file == INVALID_HANDLE_VALUE)
        return;
    std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(file, text.data(), (DWORD)text.size(), &written, NULL);
    CloseHandle(file);
}

// ----- the dialog, built in memory so that boxer needs no resource file -----

void Align(std::vector<WORD> *t)
{
    if (t->size() % 2)
        t->push_back(0);
}

void AddString(std::vector<WORD> *t, const char *s)
{
    for (; *s; s++)
        t->push_back((WORD)(unsigned char)*s);
    t->push_back(0);
}

void AddDword(std::vector<WORD> *t, DWORD v)
{
    t->push_back(LOWORD(v));
    t->push_back(HIWORD(v));
}

void AddItem(std::vector<WORD> *t, DWORD style, short x, short y, short cx, short cy, WORD id,
             WORD classAtom, const char *text)
{
    Align(t);
    AddDword(t, style | WS_CHILD | WS_VISIBLE);
    AddDword(t, 0);
    t->push_back(x);
    t->push_back(y);
    t->push_back(cx);
    t->push_back(cy);
    t->push_back(id);
    t->push_back(0xFFFF);
    t->push_back(classAtom);
    AddString(t, text);
    t->push_back(0);
}

struct DialogData {
    std::string editText;
    bool checked = false;
};

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    DialogData *data = (DialogData *)GetWindowLongPtrA(hwnd, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        data = (DialogData *)lParam;
        SetDlgItemTextA(hwnd, kIdEdit, data->editText.c_str());
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            char buf[1024] = "";
            GetDlgItemTextA(hwnd, kIdEdit, buf, sizeof buf);
            data->editText = buf;
            data->checked = IsDlgButtonChecked(hwnd, kIdCheck) == BST_CHECKED;
            EndDialog(hwnd, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

INT_PTR ShowDialog(const std::string &caption, DialogData *data)
{
    std::vector<WORD> t;
    AddDword(&t, DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    AddDword(&t, 0);
    t.push_back(5);  // items
    t.push_back(0);
    t.push_back(0);
    t.push_back(200);
    t.push_back(90);
    t.push_back(0);  // no menu
    t.push_back(0);  // standard class
    AddString(&t, caption.c_str());
    t.push_back(8);
    AddString(&t, "MS Shell Dlg");
    AddItem(&t, SS_LEFT, 7, 7, 186, 10, 0xFFFF, 0x0082, "Name:");
    AddItem(&t, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 20, 186, 14, kIdEdit, 0x0081, "");
    AddItem(&t, BS_AUTOCHECKBOX | WS_TABSTOP, 7, 40, 186, 10, kIdCheck, 0x0080, "&Remember");
    AddItem(&t, BS_DEFPUSHBUTTON | WS_TABSTOP, 89, 69, 50, 14, IDOK, 0x0080, "OK");
    AddItem(&t, BS_PUSHBUTTON | WS_TABSTOP, 143, 69, 50, 14, IDCANCEL, 0x0080, "Cancel");
    return DialogBoxIndirectParamA(GetModuleHandleA(NULL), (LPCDLGTEMPLATEA)t.data(),
                                   GetDesktopWindow(), DialogProc, (LPARAM)data);
}

// ----- steps -----

// Returns the index just past the bracketed group that starts at argv[i] ("[").
int GroupEnd(int argc, char **argv, int i)
{
    int depth = 0;
    for (; i < argc; i++) {
        if (strcmp(argv[i], "[") == 0)
            depth++;
        else if (strcmp(argv[i], "]") == 0 && --depth == 0)
            return i + 1;
    }
    return argc;
}

bool RunCopy(int argc, char **argv, int first, int end, bool wait)
{
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    std::string cmd = QuoteArg(self);
    if (!g_outPath.empty())
        cmd += " --out " + QuoteArg(g_outPath);
    for (int i = first; i < end; i++)
        cmd += " " + QuoteArg(argv[i]);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(self, &cmd[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return false;
    if (wait)
        WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int argc = __argc;
    char **argv = __argv;
    for (int i = 1; i < argc;) {
        std::string step = argv[i];
        if (step == "--out" && i + 1 < argc) {
            g_outPath = argv[i + 1];
            i += 2;
        } else if (step == "box" && i + 3 < argc) {
            int answer = MessageBoxA(GetDesktopWindow(), Unescape(argv[i + 3]).c_str(),
                                     Unescape(argv[i + 2]).c_str(), (UINT)strtoul(argv[i + 1], NULL, 10));
            WriteResult("box " + std::to_string(answer));
            i += 4;
        } else if (step == "dialog" && i + 2 < argc) {
            DialogData data;
            data.editText = Unescape(argv[i + 2]);
            INT_PTR answer = ShowDialog(Unescape(argv[i + 1]), &data);
            WriteResult("dialog " + std::to_string((int)answer) + " " + (data.checked ? "1 " : "0 ") +
                        data.editText);
            i += 3;
        } else if ((step == "child" || step == "spawn") && i + 1 < argc && strcmp(argv[i + 1], "[") == 0) {
            int end = GroupEnd(argc, argv, i + 1);
            int last = (end <= argc && strcmp(argv[end - 1], "]") == 0) ? end - 1 : end;
            if (!RunCopy(argc, argv, i + 2, last, step == "child"))
                return 3;
            i = end;
        } else if (step == "open" && i + 2 < argc) {
            INT_PTR rc = (INT_PTR)ShellExecuteA(NULL, "open", argv[i + 1], argv[i + 2], NULL, SW_SHOWNORMAL);
            WriteResult(rc > 32 ? std::string("open OK") : "open failed " + std::to_string((long long)rc));
            i += 3;
        } else if (step == "sleep" && i + 1 < argc) {
            Sleep(strtoul(argv[i + 1], NULL, 10));
            i += 2;
        } else if (step == "exit" && i + 1 < argc) {
            return atoi(argv[i + 1]);
        } else {
            MessageBoxA(NULL, ("unknown step: " + step).c_str(), "boxer", MB_ICONERROR);
            return 2;
        }
    }
    return 0;
}
