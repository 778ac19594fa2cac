#include "robot.h"

#include <tlhelp32.h>
#include <wincodec.h>

#include <algorithm>
#include <sstream>

namespace robot {

namespace {

const DWORD kSendTimeoutMs = 2000;   // a cross-process message to a hung window gives up after this
const DWORD kSettleMs = 1000;        // how long a raised window may take to repaint
const DWORD kTickMs = 2000;          // how long a clicked check box may take to show ticked
const DWORD kKillWaitMs = 5000;
const int kMessageBoxTextId = 0xFFFF;
const int kMessageBoxIconId = 0x440;  // Wine's message box template: the icon static (stc1)
const size_t kMaxJobPids = 256;

DWORD Now()
{
    return GetTickCount();
}

bool Expired(DWORD start, DWORD timeoutMs)
{
    return Now() - start >= timeoutMs;
}

std::string ClassOf(HWND h)
{
    char name[256] = "";
    GetClassNameA(h, name, sizeof name);
    return name;
}

bool SendTimeout(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR *result)
{
    DWORD_PTR dummy = 0;
    return SendMessageTimeoutA(h, msg, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                               result ? result : &dummy) != 0;
}

// WM_GETTEXT is marshalled by the system, so it reads edit controls of other processes too
// (GetWindowTextA does not send it across processes).
std::string ControlText(HWND h)
{
    DWORD_PTR length = 0;
    if (!SendTimeout(h, WM_GETTEXTLENGTH, 0, 0, &length))
        return "";
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendTimeout(h, WM_GETTEXT, text.size(), (LPARAM)&text[0], &copied))
        return "";
    text.resize(strlen(text.c_str()));
    return text;
}

std::string TopCaption(HWND h)
{
    char caption[1024] = "";
    GetWindowTextA(h, caption, sizeof caption);
    return caption;
}

std::string WithoutCarriageReturns(const std::string &s)
{
    std::string r;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')
            continue;
        r += s[i];
    }
    return r;
}

std::string WithoutAmpersands(const std::string &s)
{
    std::string r;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] == '&' && i + 1 < s.size())
            i++;
        else if (s[i] == '&')
            continue;
        r += s[i];
    }
    return r;
}

std::string Quoted(const std::string &s)
{
    std::string r = "\"";
    for (char c : s) {
        if (c == '\n')
            r += "\\n";
        else if (c == '\r')
            r += "\\r";
        else if (c == '"' || c == '\\')
            r += std::string("\\") + c;
        else
            r += c;
    }
    return r + "\"";
}

std::string BaseName(const std::string &path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

DWORD ButtonType(DWORD style)
{
    return style & BS_TYPEMASK;
}

bool IsPushButton(const Control &c)
{
    DWORD type = ButtonType(c.style);
    return c.className == "Button" && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
}

bool IsCheckable(const Control &c)
{
    switch (ButtonType(c.style)) {
    case BS_CHECKBOX: case BS_AUTOCHECKBOX: case BS_RADIOBUTTON: case BS_3STATE: case BS_AUTO3STATE:
    case BS_AUTORADIOBUTTON:
        return c.className == "Button";
    }
    return false;
}

bool IsIconStatic(const Control &c)
{
    return c.className == "Static" && (c.style & SS_TYPEMASK) == SS_ICON;
}

BOOL CALLBACK CollectChild(HWND h, LPARAM param)
{
    ((std::vector<HWND> *)param)->push_back(h);
    return TRUE;
}

std::vector<HWND> ChildrenOf(HWND h)
{
    std::vector<HWND> children;
    EnumChildWindows(h, CollectChild, (LPARAM)&children);
    return children;
}

Control ReadControl(HWND h)
{
    Control c;
    c.hwnd = h;
    c.id = GetDlgCtrlID(h);
    c.className = ClassOf(h);
    c.style = (DWORD)GetWindowLongA(h, GWL_STYLE);
    c.text = ControlText(h);
    c.visible = IsWindowVisible(h) != FALSE;
    c.enabled = IsWindowEnabled(h) != FALSE;
    if (IsCheckable(c)) {
        DWORD_PTR state = 0;
        c.checked = SendTimeout(h, BM_GETCHECK, 0, 0, &state) && state == BST_CHECKED;
    }
    return c;
}

// Wine's message box: the text static, the icon static and push buttons with the standard ids.
bool LooksLikeMessageBox(const Window &w)
{
    if (w.className != "#32770")
        return false;
    int texts = 0, buttons = 0;
    for (const Control &c : w.controls) {
        if (c.className == "Static" && c.id == kMessageBoxTextId)
            texts++;
        else if (IsIconStatic(c) && c.id == kMessageBoxIconId)
            continue;
        else if (IsPushButton(c) && ((c.id >= IDOK && c.id <= IDCONTINUE) || c.id == IDHELP))
            buttons++;
        else
            return false;
    }
    return texts == 1 && buttons > 0;
}

// A message box's buttons by what they do, in the words of an English Windows: a Japanese one
// writes its own (Yes reads "\x82\xCD\x82\xA2(Y)" there).
const char *StandardButtonName(int id)
{
    static const char *const kNames[] = { NULL, "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No", NULL, NULL,
                                          "Try Again", "Continue" };
    return id >= IDOK && id <= IDCONTINUE ? kNames[id] : NULL;
}

void FillButtons(Window *w)
{
    struct Placed {
        RECT rect;
        const Control *control;
    };
    std::vector<Placed> placed;
    for (const Control &c : w->controls) {
        if (!IsPushButton(c) || !c.visible)
            continue;
        Placed p = { {}, &c };
        GetWindowRect(c.hwnd, &p.rect);
        placed.push_back(p);
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed &a, const Placed &b) {
        return a.rect.top != b.rect.top ? a.rect.top < b.rect.top : a.rect.left < b.rect.left;
    });
    for (const Placed &p : placed) {
        const char *standard = w->isMessageBox ? StandardButtonName(p.control->id) : NULL;
        w->buttons.push_back(standard != NULL ? standard : WithoutAmpersands(p.control->text));
        w->buttonIds.push_back(p.control->id);
        if (!w->defaultButton && ButtonType(p.control->style) == BS_DEFPUSHBUTTON)
            w->defaultButton = p.control->id;
    }
}

// Everything but the icon kind, which needs a look at the screen.
bool ReadWindow(HWND h, Window *w)
{
    if (!IsWindow(h))
        return false;
    Window r;
    r.hwnd = h;
    GetWindowThreadProcessId(h, &r.pid);
    r.className = ClassOf(h);
    r.caption = TopCaption(h);
    for (HWND child : ChildrenOf(h))
        r.controls.push_back(ReadControl(child));
    r.isMessageBox = LooksLikeMessageBox(r);
    if (r.isMessageBox)
        r.text = WithoutCarriageReturns(r.FindControl(kMessageBoxTextId)->text);
    FillButtons(&r);
    *w = r;
    return IsWindow(h) != FALSE;
}

// What must not change between two looks before a window counts as shown: its caption and its
// set of controls. Texts may keep changing (a progress line).
std::string Shape(const Window &w)
{
    std::ostringstream s;
    s << w.caption << '|' << w.isMessageBox;
    for (const Control &c : w.controls)
        s << '|' << c.hwnd << ',' << c.visible;
    return s.str();
}

// ----- pixels -----

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;  // top row first, three bytes a pixel
};

// A 32-bit top-down DIB selected into a memory DC compatible with the screen.
struct Canvas {
    HDC screen = NULL;
    HDC memory = NULL;
    HBITMAP bitmap = NULL;
    HGDIOBJ old = NULL;
    unsigned char *bits = NULL;  // BGRA
    int width = 0, height = 0;
};

void CanvasClose(Canvas *c)
{
    if (c->old)
        SelectObject(c->memory, c->old);
    if (c->bitmap)
        DeleteObject(c->bitmap);
    if (c->memory)
        DeleteDC(c->memory);
    if (c->screen)
        ReleaseDC(NULL, c->screen);
    *c = Canvas();
}

bool CanvasOpen(Canvas *c, int width, int height)
{
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;  // top row first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    c->width = width;
    c->height = height;
    if (width <= 0 || height <= 0 || !(c->screen = GetDC(NULL)) || !(c->memory = CreateCompatibleDC(c->screen)) ||
        !(c->bitmap = CreateDIBSection(c->screen, &bi, DIB_RGB_COLORS, (void **)&c->bits, NULL, 0))) {
        CanvasClose(c);
        return false;
    }
    c->old = SelectObject(c->memory, c->bitmap);
    return true;
}

void CanvasToPicture(const Canvas &c, Picture *picture)
{
    GdiFlush();
    size_t pixels = (size_t)c.width * c.height;
    picture->width = c.width;
    picture->height = c.height;
    picture->rgb.resize(pixels * 3);
    for (size_t i = 0; i < pixels; i++) {
        picture->rgb[i * 3] = c.bits[i * 4 + 2];
        picture->rgb[i * 3 + 1] = c.bits[i * 4 + 1];
        picture->rgb[i * 3 + 2] = c.bits[i * 4];
    }
}

// What the screen shows in the rectangle. PrintWindow would not do: on a window of another
// process it returns TRUE and draws nothing.
bool CaptureScreen(const RECT &r, Picture *picture)
{
    Canvas c;
    if (!CanvasOpen(&c, r.right - r.left, r.bottom - r.top))
        return false;
    bool ok = BitBlt(c.memory, 0, 0, c.width, c.height, c.screen, r.left, r.top, SRCCOPY) != FALSE;
    if (ok)
        CanvasToPicture(c, picture);
    CanvasClose(&c);
    return ok;
}

// An icon drawn by this process on a plain background of the given RGB colour, as an icon
// static draws it (at its own size, from the top left corner).
bool RenderIcon(HICON icon, int width, int height, const unsigned char *background, Picture *picture)
{
    Canvas c;
    if (!CanvasOpen(&c, width, height))
        return false;
    for (size_t i = 0; i < (size_t)width * height; i++) {
        c.bits[i * 4] = background[2];
        c.bits[i * 4 + 1] = background[1];
        c.bits[i * 4 + 2] = background[0];
        c.bits[i * 4 + 3] = 0;
    }
    bool ok = DrawIconEx(c.memory, 0, 0, icon, 0, 0, 0, NULL, DI_NORMAL) != FALSE;
    if (ok)
        CanvasToPicture(c, picture);
    CanvasClose(&c);
    return ok;
}

size_t DifferentPixels(const Picture &a, const Picture &b)
{
    if (a.width != b.width || a.height != b.height)
        return (size_t)-1;
    size_t n = 0;
    for (size_t i = 0; i < a.rgb.size(); i += 3)
        if (memcmp(&a.rgb[i], &b.rgb[i], 3) != 0)
            n++;
    return n;
}

void Raise(HWND h)
{
    SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// Icon handles are per process and GetIconInfo fails on another process's icon, so the kind is
// found by drawing each system icon here and comparing it with the icon static on the screen.
IconKind DetectIcon(HWND top, HWND iconStatic)
{
    static const struct {
        LPCSTR resource;
        IconKind kind;
    } kCandidates[] = {
        { IDI_HAND, kIconError },
        { IDI_EXCLAMATION, kIconWarning },
        { IDI_QUESTION, kIconQuestion },
        { IDI_ASTERISK, kIconInformation },
    };
    DWORD_PTR icon = 0;
    if (!SendTimeout(iconStatic, STM_GETICON, 0, 0, &icon) || !icon)
        return kIconNone;
    Raise(top);
    IconKind best = kIconUnknown;
    size_t bestDiff = (size_t)-1, pixels = 0;
    DWORD start = Now();
    do {
        RECT r;
        Picture seen;
        if (!GetWindowRect(iconStatic, &r) || !CaptureScreen(r, &seen))
            return kIconUnknown;
        pixels = (size_t)seen.width * seen.height;
        for (const auto &candidate : kCandidates) {
            Picture drawn;
            if (!RenderIcon(LoadIconA(NULL, candidate.resource), seen.width, seen.height, &seen.rgb[0], &drawn))
                continue;
            size_t diff = DifferentPixels(seen, drawn);
            if (diff == 0)
                return candidate.kind;
            if (diff < bestDiff) {
                bestDiff = diff;
                best = candidate.kind;
            }
        }
        Sleep(kPollMs);  // perhaps not repainted yet after the raise
    } while (!Expired(start, kSettleMs));
    return bestDiff <= pixels / 50 ? best : kIconUnknown;
}

// A picture of the window once two looks in a row agree (it may be repainting after the raise).
bool CaptureWindow(HWND h, Picture *picture)
{
    Raise(h);
    Picture previous;
    DWORD start = Now();
    for (;;) {
        RECT r;
        Picture now;
        if (!GetWindowRect(h, &r) || !CaptureScreen(r, &now))
            return false;
        if (now.width == previous.width && now.height == previous.height && now.rgb == previous.rgb) {
            *picture = now;
            return true;
        }
        if (Expired(start, kSettleMs)) {
            *picture = now;
            return true;
        }
        previous = now;
        Sleep(kPollMs * 2);
    }
}

// The system's imaging component encodes the picture as PNG.
bool WritePicture(const std::string &path, const Picture &picture)
{
    std::vector<unsigned char> bgr(picture.rgb.size());
    for (size_t i = 0; i + 2 < bgr.size(); i += 3) {
        bgr[i] = picture.rgb[i + 2];
        bgr[i + 1] = picture.rgb[i + 1];
        bgr[i + 2] = picture.rgb[i];
    }
    std::wstring widePath(path.begin(), path.end());
    IWICImagingFactory *factory = NULL;
    IWICStream *stream = NULL;
    IWICBitmapEncoder *encoder = NULL;
    IWICBitmapFrameEncode *frame = NULL;
    IPropertyBag2 *options = NULL;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    CoInitialize(NULL);
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, NULL, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                         (void **)&factory)) &&
              SUCCEEDED(factory->CreateStream(&stream)) &&
              SUCCEEDED(stream->InitializeFromFilename(widePath.c_str(), GENERIC_WRITE)) &&
              SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, NULL, &encoder)) &&
              SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
              SUCCEEDED(encoder->CreateNewFrame(&frame, &options)) && SUCCEEDED(frame->Initialize(options)) &&
              SUCCEEDED(frame->SetSize(picture.width, picture.height)) && SUCCEEDED(frame->SetPixelFormat(&format)) &&
              IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) &&
              SUCCEEDED(frame->WritePixels(picture.height, picture.width * 3, (UINT)bgr.size(), bgr.data())) &&
              SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
    for (IUnknown *object : { (IUnknown *)options, (IUnknown *)frame, (IUnknown *)encoder, (IUnknown *)stream,
                              (IUnknown *)factory })
        if (object)
            object->Release();
    return ok;
}

struct TopWindows {
    const std::vector<DWORD> *pids;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTop(HWND h, LPARAM param)
{
    TopWindows *t = (TopWindows *)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (IsWindowVisible(h) && std::find(t->pids->begin(), t->pids->end(), pid) != t->pids->end()) {
        std::string cls = ClassOf(h);
        if (cls != "tooltips_class32" && cls != "#32768")  // passing tool tips and open menus
            t->found.push_back(h);
    }
    return TRUE;
}

HWND FindControlHwnd(HWND top, int id)
{
    HWND direct = GetDlgItem(top, id);
    if (direct)
        return direct;
    for (HWND child : ChildrenOf(top))
        if (GetDlgCtrlID(child) == id)
            return child;
    return NULL;
}

bool EarlierThan(const FILETIME &a, const FILETIME &b)
{
    return CompareFileTime(&a, &b) < 0;
}

}  // namespace

// ----- Window -----

const char *IconName(IconKind kind)
{
    switch (kind) {
    case kIconNone: return "none";
    case kIconError: return "error";
    case kIconWarning: return "warning";
    case kIconQuestion: return "question";
    case kIconInformation: return "information";
    case kIconUnknown: return "unknown";
    }
    return "?";
}

const Control *Window::FindControl(int id) const
{
    for (const Control &c : controls)
        if (c.id == id)
            return &c;
    return nullptr;
}

std::string Window::Describe() const
{
    std::ostringstream s;
    if (isMessageBox) {
        s << "message box " << Quoted(caption) << " (pid " << pid << "): text " << Quoted(text) << "; buttons ";
        for (size_t i = 0; i < buttons.size(); i++) {
            s << (i ? ", " : "") << buttons[i] << " (" << buttonIds[i]
              << (buttonIds[i] == defaultButton ? ", default" : "") << ")";
        }
        if (buttons.empty())
            s << "none";
        s << "; icon " << IconName(icon);
        return s.str();
    }
    s << "window " << Quoted(caption) << " (class " << className << ", pid " << pid << "); controls: ";
    for (size_t i = 0; i < controls.size(); i++) {
        const Control &c = controls[i];
        s << (i ? ", " : "") << c.className << " " << c.id << " " << Quoted(c.text);
        if (IsCheckable(c))
            s << (c.checked ? " [ticked]" : " [not ticked]");
        if (c.id == defaultButton && IsPushButton(c))
            s << " (default)";
        if (!c.visible)
            s << " (hidden)";
        if (!c.enabled)
            s << " (disabled)";
    }
    if (controls.empty())
        s << "none";
    if (icon != kIconNone)
        s << "; icon " << IconName(icon);
    return s.str();
}

// ----- Session -----

Session::Session() {}

Session::~Session()
{
    KillAll();
    for (Process &p : processes_)
        if (p.handle)
            CloseHandle(p.handle);
    if (job_)
        CloseHandle(job_);
}

bool Session::Fail(const std::string &why)
{
    lastError_ = why;
    return false;
}

const std::string &Session::LastError() const
{
    return lastError_;
}

DWORD Session::RootPid() const
{
    return rootPid_;
}

void Session::SetPollMs(DWORD ms)
{
    pollMs_ = ms;
}

std::vector<DWORD> Session::Pids() const
{
    std::vector<DWORD> pids;
    for (const Process &p : processes_)
        pids.push_back(p.pid);
    return pids;
}

std::vector<ProcessInfo> Session::Processes() const
{
    std::vector<ProcessInfo> list;
    for (const Process &p : processes_) {
        ProcessInfo info;
        info.pid = p.pid;
        info.exe = p.exe;
        info.ended = !p.handle || WaitForSingleObject(p.handle, 0) == WAIT_OBJECT_0;
        info.exitKnown = p.handle && info.ended && GetExitCodeProcess(p.handle, &info.exitCode);
        list.push_back(info);
    }
    return list;
}

std::string Session::ProcessSummary() const
{
    std::ostringstream s, helpers;
    bool first = true;
    std::vector<ProcessInfo> list = Processes();
    for (const ProcessInfo &p : list) {
        if (IsWineHelper(p)) {
            helpers << (helpers.tellp() > 0 ? ", " : "") << p.pid << " " << (p.exe.empty() ? "(a helper that never started)" : p.exe);
            continue;
        }
        s << (first ? "" : ", ") << p.pid << " " << (p.exe.empty() ? "?" : p.exe);
        first = false;
        if (!p.ended)
            s << " (running)";
        else if (p.exitKnown)
            s << " (ended, " << p.exitCode << ")";
        else
            s << " (ended)";
    }
    if (list.empty())
        s << "none started";
    if (helpers.tellp() > 0)
        s << "; Wine's own: " << helpers.str();
    return s.str();
}

bool Session::Start(const std::string &exe, const std::string &args, const std::string &cwd)
{
    std::string exePath = WindowsPath(exe);
    return StartWithLine(exePath, QuoteArg(exePath) + (args.empty() ? "" : " " + args), cwd);
}

bool Session::StartWithLine(const std::string &exe, const std::string &line, const std::string &cwd)
{
    if (root_)
        return Fail("the session has already started a program");
    std::string exePath = WindowsPath(exe), cwdPath = WindowsPath(cwd);
    std::string commandLine = line;

    // A process created before this moment cannot belong to the program (its id may be reused
    // by an unrelated earlier process's child); a second of slack covers clock granularity.
    GetSystemTimeAsFileTime(&startTime_);
    ULARGE_INTEGER t;
    t.LowPart = startTime_.dwLowDateTime;
    t.HighPart = startTime_.dwHighDateTime;
    t.QuadPart -= 10000000ull;
    startTime_.dwLowDateTime = t.LowPart;
    startTime_.dwHighDateTime = t.HighPart;

    // Wine starts the desktop process (explorer.exe /desktop) from the first process that needs
    // the desktop window, as that process's child; made here it is not a child of the program.
    GetWindowThreadProcessId(GetDesktopWindow(), &desktopPid_);

    job_ = CreateJobObjectA(NULL, NULL);
    if (job_) {
        // If the test program dies, closing the job ends the program it started.
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exePath.c_str(), &commandLine[0], NULL, NULL, FALSE, CREATE_SUSPENDED, NULL,
                        cwdPath.empty() ? NULL : cwdPath.c_str(), &si, &pi))
        return Fail("cannot start " + commandLine + " (error " + std::to_string(GetLastError()) + ")");
    if (job_ && !AssignProcessToJobObject(job_, pi.hProcess)) {
        CloseHandle(job_);  // the parent links alone still find the descendants
        job_ = nullptr;
    }
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);
    root_ = pi.hProcess;
    rootPid_ = pi.dwProcessId;
    processes_.push_back({ pi.dwProcessId, pi.hProcess, BaseName(exePath) });
    return true;
}

bool Session::IsKnown(DWORD pid) const
{
    for (const Process &p : processes_)
        if (p.pid == pid)
            return true;
    return false;
}

void Session::AddProcess(DWORD pid, const std::string &exe)
{
    if (pid == desktopPid_ || pid == GetCurrentProcessId())
        return;
    HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
    if (h) {
        FILETIME created, exited, kernel, user;
        if (GetProcessTimes(h, &created, &exited, &kernel, &user) && EarlierThan(created, startTime_)) {
            CloseHandle(h);
            return;
        }
    }
    // A process found in the job alone has no name yet: its image tells it, even once it ended.
    char image[MAX_PATH];
    DWORD size = MAX_PATH;
    std::string name = exe;
    if (name.empty() && h && QueryFullProcessImageNameA(h, 0, image, &size))
        name = BaseName(image);
    processes_.push_back({ pid, h, name });
}

// Finds the program's new processes: those in the job (even when the process that started them
// has ended already) and those whose parent is a known process.
void Session::Refresh()
{
    if (!root_)
        return;
    if (job_) {
        std::vector<ULONG_PTR> buffer(kMaxJobPids + 2);
        JOBOBJECT_BASIC_PROCESS_ID_LIST *list = (JOBOBJECT_BASIC_PROCESS_ID_LIST *)buffer.data();
        if (QueryInformationJobObject(job_, JobObjectBasicProcessIdList, list, buffer.size() * sizeof(ULONG_PTR), NULL)) {
            for (DWORD i = 0; i < list->NumberOfProcessIdsInList && i < kMaxJobPids; i++)
                if (!IsKnown((DWORD)list->ProcessIdList[i]))
                    AddProcess((DWORD)list->ProcessIdList[i], "");
        }
    }
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    std::vector<PROCESSENTRY32> entries;
    PROCESSENTRY32 e = {};
    e.dwSize = sizeof e;
    for (BOOL ok = Process32First(snapshot, &e); ok; ok = Process32Next(snapshot, &e))
        entries.push_back(e);
    CloseHandle(snapshot);
    // A grandchild may be listed before its parent: repeat until nothing new turns up.
    for (bool added = true; added;) {
        added = false;
        for (const PROCESSENTRY32 &p : entries) {
            if (p.th32ProcessID && !IsKnown(p.th32ProcessID) && IsKnown(p.th32ParentProcessID)) {
                AddProcess(p.th32ProcessID, p.szExeFile);
                added = added || IsKnown(p.th32ProcessID);
            }
        }
    }
    for (Process &known : processes_)
        for (const PROCESSENTRY32 &p : entries)
            if (known.exe.empty() && p.th32ProcessID == known.pid)
                known.exe = p.szExeFile;
}

bool Session::AllEnded() const
{
    for (const Process &p : processes_)
        if (p.handle && WaitForSingleObject(p.handle, 0) != WAIT_OBJECT_0)
            return false;
    return true;
}

// Every process has ended, including any started just before its parent ended.
bool Session::Finished()
{
    if (!AllEnded())
        return false;
    Refresh();
    return AllEnded();
}

bool Session::FindNewWindow(Window *window, bool waitUntilReady)
{
    returned_.erase(std::remove_if(returned_.begin(), returned_.end(), [](HWND h) { return !IsWindow(h); }),
                    returned_.end());
    std::vector<DWORD> pids = Pids();
    TopWindows top = { &pids, {} };
    EnumWindows(CollectTop, (LPARAM)&top);
    for (HWND h : top.found) {
        if (std::find(returned_.begin(), returned_.end(), h) != returned_.end())
            continue;
        Window first, second;
        if (!ReadWindow(h, &first))
            continue;
        if (waitUntilReady) {
            // Windows appear asynchronously: take it once two looks agree.
            Sleep(pollMs_);
            if (!ReadWindow(h, &second) || !IsWindowVisible(h) || Shape(first) != Shape(second))
                continue;
        } else {
            second = first;
        }
        for (const Control &c : second.controls) {
            if (IsIconStatic(c) && c.visible) {
                second.icon = DetectIcon(h, c.hwnd);
                break;
            }
        }
        returned_.push_back(h);
        *window = second;
        return true;
    }
    return false;
}

bool Session::NextWindow(Window *window, DWORD timeoutMs)
{
    if (!root_)
        return Fail("no program was started");
    DWORD start = Now();
    for (;;) {
        Refresh();
        if (FindNewWindow(window, true))
            return true;
        if (Finished())
            return Fail("every process of the program has ended (" + ProcessSummary() + ")");
        if (Expired(start, timeoutMs))
            return Fail("no new window within " + std::to_string(timeoutMs) + " ms (" + ProcessSummary() + ")");
        Sleep(pollMs_);
    }
}

bool Session::Press(const Window &w, int controlId)
{
    if (!IsWindow(w.hwnd))
        return Fail("the window " + Quoted(w.caption) + " is gone");
    HWND control = FindControlHwnd(w.hwnd, controlId);
    if (!control)
        return Fail("no control " + std::to_string(controlId) + " in " + w.Describe());
    if (!IsWindowVisible(control) || !IsWindowEnabled(control))
        return Fail("control " + std::to_string(controlId) + " is hidden or disabled in " + w.Describe());
    // Posted, not sent: the press may open a modal loop (another box) that a sent message would
    // wait for.
    HWND parent = GetAncestor(control, GA_PARENT);
    if (!PostMessageA(parent, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED), (LPARAM)control))
        return Fail("PostMessage failed (error " + std::to_string(GetLastError()) + ")");
    return true;
}

bool Session::Close(const Window &w)
{
    if (!IsWindow(w.hwnd))
        return Fail("the window " + Quoted(w.caption) + " is gone");
    if (!PostMessageA(w.hwnd, WM_CLOSE, 0, 0))
        return Fail("PostMessage failed (error " + std::to_string(GetLastError()) + ")");
    return true;
}

bool Session::SetEditText(const Window &w, int controlId, const std::string &text)
{
    HWND control = IsWindow(w.hwnd) ? FindControlHwnd(w.hwnd, controlId) : NULL;
    if (!control)
        return Fail("no control " + std::to_string(controlId) + " in " + Quoted(w.caption));
    DWORD_PTR result = 0;
    if (!SendTimeout(control, WM_SETTEXT, 0, (LPARAM)text.c_str(), &result) || !result)
        return Fail("WM_SETTEXT to control " + std::to_string(controlId) + " failed");
    std::string now = ControlText(control);
    if (now != text)
        return Fail("control " + std::to_string(controlId) + " holds " + Quoted(now) + " after WM_SETTEXT");
    return true;
}

bool Session::SetTick(const Window &w, int controlId, bool ticked)
{
    HWND control = IsWindow(w.hwnd) ? FindControlHwnd(w.hwnd, controlId) : NULL;
    if (!control)
        return Fail("no control " + std::to_string(controlId) + " in " + Quoted(w.caption));
    Control c = ReadControl(control);
    if (!IsCheckable(c))
        return Fail("control " + std::to_string(controlId) + " is not a check box or radio button");
    if (c.checked == ticked)
        return true;
    // Posted: the click may open a modal loop that a sent message would wait for.
    if (!PostMessageA(control, BM_CLICK, 0, 0))
        return Fail("PostMessage failed (error " + std::to_string(GetLastError()) + ")");
    DWORD start = Now();
    do {
        DWORD_PTR state = 0;
        if (SendTimeout(control, BM_GETCHECK, 0, 0, &state) && (state == BST_CHECKED) == ticked)
            return true;
        Sleep(kPollMs);
    } while (!Expired(start, kTickMs));
    return Fail("control " + std::to_string(controlId) + (ticked ? " is not ticked" : " is still ticked") +
                " after BM_CLICK");
}

std::string Session::ReadControlText(const Window &w, int controlId)
{
    HWND control = IsWindow(w.hwnd) ? FindControlHwnd(w.hwnd, controlId) : NULL;
    if (!control) {
        Fail("no control " + std::to_string(controlId) + " in " + Quoted(w.caption));
        return "";
    }
    return ControlText(control);
}

bool Session::SavePng(const Window &w, const std::string &path)
{
    if (!IsWindow(w.hwnd))
        return Fail("the window " + Quoted(w.caption) + " is gone");
    Picture picture;
    if (!CaptureWindow(w.hwnd, &picture))
        return Fail("cannot capture the window " + Quoted(w.caption));
    if (!WritePicture(WindowsPath(path), picture))
        return Fail("cannot write " + path);
    return true;
}

bool Session::WaitExit(DWORD timeoutMs, DWORD *exitCode, Window *unexpected)
{
    if (!root_)
        return Fail("no program was started");
    DWORD start = Now();
    bool ended = false;
    for (;;) {
        Refresh();
        Window w;
        if (FindNewWindow(&w, true)) {
            if (unexpected)
                *unexpected = w;
            Fail("a window appeared while waiting for the program to end: " + w.Describe());
            break;
        }
        if (Finished()) {
            ended = true;
            break;
        }
        if (Expired(start, timeoutMs)) {
            std::string why = "the program still ran after " + std::to_string(timeoutMs) + " ms (" +
                              ProcessSummary() + ") and was killed";
            // Whatever is still on the screen is most likely what it waits for.
            std::vector<DWORD> pids = Pids();
            TopWindows top = { &pids, {} };
            EnumWindows(CollectTop, (LPARAM)&top);
            Window open;
            if (!top.found.empty() && ReadWindow(top.found[0], &open)) {
                why += "; a window was open: " + open.Describe();
                if (unexpected)
                    *unexpected = open;
            }
            KillAll();
            Fail(why);
            break;
        }
        Sleep(kPollMs);
    }
    if (exitCode)
        GetExitCodeProcess(root_, exitCode);
    return ended;
}

bool Session::Running()
{
    return root_ != nullptr && !Finished();
}

void Session::KillAll()
{
    // Repeated: a process may start another just before it is ended.
    for (int round = 0; round < 3; round++) {
        Refresh();
        if (AllEnded())
            break;
        if (job_)
            TerminateJobObject(job_, kKilledExitCode);
        for (Process &p : processes_)
            if (p.handle && WaitForSingleObject(p.handle, 0) != WAIT_OBJECT_0)
                TerminateProcess(p.handle, kKilledExitCode);
        DWORD start = Now();
        for (Process &p : processes_) {
            DWORD spent = Now() - start;
            if (p.handle)
                WaitForSingleObject(p.handle, spent < kKillWaitMs ? kKillWaitMs - spent : 0);
        }
    }
}

void Session::KillRoot()
{
    if (root_ && WaitForSingleObject(root_, 0) != WAIT_OBJECT_0) {
        TerminateProcess(root_, kKilledExitCode);
        WaitForSingleObject(root_, kKillWaitMs);
    }
}

// ----- helpers -----

int UsualAnswer(const Window &box)
{
    static const struct { const char *text; int button; } kPolicy[] = {
        { "will be installed on your computer", IDYES },
        { "It will be removed before", IDYES },   // an earlier version, before version 2 is installed
        { "Do you really want to uninstall", IDYES },
        { "Keep the trace log file?", IDNO },
        { "Restart Windows now?", IDNO },
        { "Retry delete operation?", IDNO },
    };
    for (const auto &rule : kPolicy)
        if (box.text.find(rule.text) != std::string::npos)
            return rule.button;
    return box.defaultButton != 0 ? box.defaultButton : IDOK;
}

int ButtonNamed(const Window &window, const std::string &name)
{
    for (size_t i = 0; i < window.buttons.size(); i++)
        if (window.buttons[i] == name)
            return window.buttonIds[i];
    return 0;
}

const DWORD kDllNotFound = 0xC0000135;

// Programs Wine starts on a program's behalf that are no part of it: the console host, and the
// shell's menu builder, which the harness turns off: it ends at once with STATUS_DLL_NOT_FOUND,
// often before its name can be read.
bool IsWineHelper(const ProcessInfo &process)
{
    if (process.exe.empty())
        return process.exitKnown && process.exitCode == kDllNotFound;
    return lstrcmpiA(process.exe.c_str(), "winemenubuilder.exe") == 0 || lstrcmpiA(process.exe.c_str(), "conhost.exe") == 0;
}

bool IsTemporaryCopy(const std::string &exe)
{
    return exe.size() == 40 && lstrcmpiA(exe.substr(36).c_str(), ".exe") == 0;
}

std::string WindowsPath(const std::string &unixPath)
{
    if (unixPath.empty() || unixPath[0] != '/')
        return unixPath;
    std::string r = "Z:" + unixPath;
    std::replace(r.begin(), r.end(), '/', '\\');
    return r;
}

std::string EnvPath(const char *name)
{
    char value[32768];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    if (n == 0 || n >= sizeof value)
        return "";
    return WindowsPath(value);
}

std::string QuoteArg(const std::string &arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
        return arg;
    std::string r = "\"";
    size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            slashes++;
            continue;
        }
        // Backslashes are literal unless they precede a quote: then each is doubled.
        r.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        slashes = 0;
        r += c;
    }
    r.append(slashes * 2, '\\');
    return r + "\"";
}

}  // namespace robot
