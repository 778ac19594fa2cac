// The UI robot: starts a Windows GUI program as a user would and drives its message boxes and
// dialogs from the test process. It follows every process descended from the one it started
// (a copy of the program started from the temp folder, NotePad opened by the program, ...).
//
// How it sees things under Wine:
// - processes: the started process runs in a job object (its descendants join it), and
//   CreateToolhelp32Snapshot is polled for processes whose parent is one already known; every
//   process found is kept open, so its id cannot be reused while the session lives; Wine's
//   desktop process, which Wine starts as a child of the first program that needs the desktop,
//   is left out;
// - windows: visible top-level windows of those processes, polled every kPollMs;
// - a message box is a "#32770" window whose children are the text static (id 0xFFFF), the
//   icon static (id 0x440) and push buttons only;
// - the default button is the push button with BS_DEFPUSHBUTTON (DM_GETDEFID answers IDOK even
//   for a box without an OK button);
// - the icon kind is found by comparing the icon static's pixels on the screen with the system
//   icons drawn by the robot itself (icon handles are per process, and another process's icon
//   cannot be read through GetIconInfo);
// - pictures are taken from the screen (GetDC(NULL) + BitBlt) after raising the window;
//   PrintWindow on another process's window draws nothing; the system's imaging component
//   writes them as PNG.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace robot {

const DWORD kPollMs = 25;
const DWORD kDefaultTimeoutMs = 15000;
const UINT kKilledExitCode = 0xDEAD;  // the exit code of a process the robot ended

enum IconKind { kIconNone, kIconError, kIconWarning, kIconQuestion, kIconInformation, kIconUnknown };
const char *IconName(IconKind kind);

// A process of the program as the robot last saw it.
struct ProcessInfo {
    DWORD pid = 0;
    std::string exe;         // file name only
    bool ended = false;
    bool exitKnown = false;  // false when it had ended before the robot found it
    DWORD exitCode = 0;
};

struct Control {
    HWND hwnd = nullptr;
    int id = 0;
    std::string className;
    std::string text;  // WM_GETTEXT, line breaks as sent by the program
    DWORD style = 0;
    bool checked = false;  // check boxes and radio buttons
    bool visible = false;
    bool enabled = false;
};

// A top-level window of the program: message box, dialog or other.
struct Window {
    HWND hwnd = nullptr;
    DWORD pid = 0;
    std::string className, caption;
    bool isMessageBox = false;
    std::string text;                  // the box text (control 0xFFFF), line breaks as "\n"
    std::vector<std::string> buttons;  // visible push buttons, left to right, '&' removed
    std::vector<int> buttonIds;        // IDOK, IDYES, ... in the same order
    int defaultButton = 0;             // id of the default push button, 0 if none
    IconKind icon = kIconNone;         // of the first visible icon static
    std::vector<Control> controls;     // every child control, in the window's own order

    const Control *FindControl(int id) const;
    std::string Describe() const;  // caption, text, buttons, default, icon (or the controls)
};

class Session {
public:
    Session();
    ~Session();  // kills whatever is still running
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // exe and cwd may be Windows paths or Unix paths ("/..." becomes "Z:\..."); args is the rest
    // of the command line as the program should receive it (see QuoteArg).
    bool Start(const std::string &exe, const std::string &args, const std::string &cwd = "");
    // The program named apart and the command line handed over as it stands, program name
    // included: what Windows gives a program started from an unquoted line such as an
    // UninstallString (Wine, asked without the program named apart, would quote its path).
    bool StartWithLine(const std::string &exe, const std::string &line, const std::string &cwd = "");
    DWORD RootPid() const;
    void SetPollMs(DWORD ms);   // how often the program is looked at (kPollMs unless set)

    // Next top-level visible window of any process of the program that was not returned before;
    // false on timeout or when every process has ended (then *window is untouched).
    bool NextWindow(Window *window, DWORD timeoutMs);
    bool Press(const Window &w, int controlId);                                 // WM_COMMAND BN_CLICKED, posted
    bool Close(const Window &w);                                                // WM_CLOSE, posted
    bool SetEditText(const Window &w, int controlId, const std::string &text);  // WM_SETTEXT
    // A check box or radio button clicked (BM_CLICK, posted) unless it already shows the wanted
    // state; true once it does. A radio button cannot be unticked by a click.
    bool SetTick(const Window &w, int controlId, bool ticked);
    std::string ReadControlText(const Window &w, int controlId);  // WM_GETTEXT (works across processes for edits)
    bool SavePng(const Window &w, const std::string &path);       // Windows or Unix path

    // Waits until every process of the program has ended. If a window appears meanwhile it is
    // stored in *unexpected (when given) and the result is false; also false on timeout (then
    // everything is killed, and a window still open is stored in *unexpected). *exitCode
    // receives the started process's exit code (STILL_ACTIVE while it runs).
    bool WaitExit(DWORD timeoutMs, DWORD *exitCode, Window *unexpected = nullptr);
    void KillAll();
    // Ends the first process only, as a user ending it from the task list would; what it
    // started is left to end by itself.
    void KillRoot();
    bool Running();   // some process of the program has not ended yet

    std::vector<DWORD> Pids() const;             // every process of the program seen so far
    std::vector<ProcessInfo> Processes() const;  // every process of the program seen so far
    // "123 setup.exe (ended, 0), 130 notepad.exe (running); Wine's own: 131 winemenubuilder.exe"
    std::string ProcessSummary() const;
    const std::string &LastError() const;        // why the last call that failed did so

private:
    struct Process {
        DWORD pid;
        HANDLE handle;  // nullptr when the process had ended before it was found
        std::string exe;
    };

    void Refresh();
    void AddProcess(DWORD pid, const std::string &exe);
    bool IsKnown(DWORD pid) const;
    bool AllEnded() const;
    bool Finished();
    bool FindNewWindow(Window *window, bool waitUntilReady);
    bool Fail(const std::string &why);

    HANDLE job_ = nullptr;
    HANDLE root_ = nullptr;
    DWORD rootPid_ = 0;
    DWORD desktopPid_ = 0;  // Wine's desktop process: never part of the program
    DWORD pollMs_ = kPollMs;
    FILETIME startTime_ = {};
    std::vector<Process> processes_;
    std::vector<HWND> returned_;
    std::string lastError_;
};

// The answer of a user who takes the defaults: yes to the questions whether to install and to
// uninstall, no to keeping the trace log, restarting Windows and retrying, else the default button.
int UsualAnswer(const Window &box);
// The id of the button with this caption; 0 when the window has none.
int ButtonNamed(const Window &window, const std::string &name);
// The secondary uninstaller runs from a copy in the temporary folder named by a GUID.
bool IsTemporaryCopy(const std::string &exe);
// A program Wine starts on a program's behalf that is no part of it.
bool IsWineHelper(const ProcessInfo &process);

// "/a/b" -> "Z:\a\b" (Wine maps Z: to the Unix root); anything else is returned unchanged.
std::string WindowsPath(const std::string &unixPath);
// The value of an environment variable as a Windows path; "" when it is not set.
std::string EnvPath(const char *name);
// Quotes one argument so that the C runtime's parser of the receiving program gives it back.
std::string QuoteArg(const std::string &arg);

}  // namespace robot
