// Hostile input: mutated setup.ini files, uninst.ini journals and command lines fed through the
// script reader, the journal replay and the command-line parser in one process, built with every
// stack frame guarded and run with Wine's heap checking. No input may crash, hang or damage the
// heap, and a replay may delete nothing that its journal does not name.
//   FUZZ_SEED    the corpus's seed (printed; a fixed one when unset)
//   FUZZ_INPUTS  inputs per kind (default 200)
//   FUZZ_ONLY    "KIND:INDEX" runs that one input again, e.g. "journal:1234"
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>
#include "../unit/common/log_capture.h"
#include "script/script_reader.h"
#include "script/setup_script.h"
#include "script/variables.h"
#include "shell/cmdline.h"
#include "support/memory.h"
#include "support/runstate.h"
#include "system/setupapi_binding.h"
#include "uninstall/journal_replay.h"

namespace {

const DWORD kHangMs = 20000;

// ----- the corpus -----

struct Random {
    uint64_t state;
    uint64_t Next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    size_t Below(size_t n) { return n == 0 ? 0 : (size_t)(Next() % n); }
};

// Pieces that mean something to one of the three readers.
const char *const kTokens[] = {
    "\r\n", "\n", "\r", "\"", "\"\"", "%", "%%", "%InstallDir%", "%WindowsDir%", "%ProgramFilesDir%", "%AppName%",
    "%Undefined%", "[Main]", "[Files]", "[Links]", "[Main.NTamd64]", "[Files.NTamd64]", "=", ",", ";", "\\", "..\\",
    "\\\\?\\", "C:\\fuzz\\sandbox\\", "AppName ", "CreateFile ", "CreateDir ", "CreateKey ", "CreateValue ",
    "InstallService ", "InstallDevice ", "InstallMmeDriver ", "AdmRightsRequired", "HKLM\\", "HKCU\\", "HKCR\\",
    "-u", "-c", "-p", "-d", " -p FFFFFFFF", " -d \"", " ", "\t", "0x", "FFFFFFFF", "99999999999", "\xff", "\x80",
};

typedef void (*Mutation)(std::string &text, Random &random, const std::vector<std::string> &seeds);

void FlipBit(std::string &t, Random &r, const std::vector<std::string> &)
{
    if (!t.empty())
        t[r.Below(t.size())] ^= (char)(1 << r.Below(8));
}
void SetByte(std::string &t, Random &r, const std::vector<std::string> &)
{
    if (!t.empty())
        t[r.Below(t.size())] = (char)(1 + r.Below(255));
}
void InsertToken(std::string &t, Random &r, const std::vector<std::string> &)
{
    t.insert(r.Below(t.size() + 1), kTokens[r.Below(sizeof kTokens / sizeof kTokens[0])]);
}
void DeleteRange(std::string &t, Random &r, const std::vector<std::string> &)
{
    size_t at = r.Below(t.size() + 1);
    t.erase(at, 1 + r.Below(std::min<size_t>(64, t.size() - at + 1)));
}
void RepeatRange(std::string &t, Random &r, const std::vector<std::string> &)
{
    size_t at = r.Below(t.size() + 1), length = 1 + r.Below(32);
    std::string piece = t.substr(at, length);
    for (size_t n = 1 + r.Below(64); n > 0; n--)
        t.insert(at, piece);
}
// Runs long enough for every buffer: a path, a journal line, a formatted line, a profile value.
void LongRun(std::string &t, Random &r, const std::vector<std::string> &)
{
    static const size_t kLengths[] = { 63, 127, 255, 259, 260, 367, 368, 1023, 1024, 4095, 32767, 65535 };
    static const char kFill[] = "A%\\\" x";
    std::string run(kLengths[r.Below(12)] + r.Below(3), kFill[r.Below(6)]);
    // Mostly at a line's end, where a value or an argument ends.
    size_t at = t.find('\r', r.Below(t.size() + 1));
    t.insert(at != std::string::npos && r.Below(4) != 0 ? at : r.Below(t.size() + 1), run);
}
void Truncate(std::string &t, Random &r, const std::vector<std::string> &)
{
    t.resize(r.Below(t.size() + 1));
}
void SpliceSeed(std::string &t, Random &r, const std::vector<std::string> &seeds)
{
    const std::string &other = seeds[r.Below(seeds.size())];
    size_t from = r.Below(other.size() + 1);
    t.insert(r.Below(t.size() + 1), other.substr(from, r.Below(200)));
}

const Mutation kMutations[] = { FlipBit, SetByte, InsertToken, InsertToken, DeleteRange, RepeatRange, LongRun, Truncate, SpliceSeed };

uint64_t CorpusSeed()
{
    const char *seed = getenv("FUZZ_SEED");
    return seed != nullptr && *seed != '\0' ? strtoull(seed, nullptr, 0) : 20261206;
}

int InputsPerKind()
{
    const char *inputs = getenv("FUZZ_INPUTS");
    return inputs != nullptr && atoi(inputs) > 0 ? atoi(inputs) : 200;
}

// Input INDEX of a kind is the same for the same seed, whatever ran before it.
std::string MakeInput(const char *kind, int index, const std::vector<std::string> &seeds)
{
    Random random = { CorpusSeed() ^ (std::hash<std::string>()(kind) * 31) ^ ((uint64_t)index << 20) };
    std::string text = seeds[random.Below(seeds.size())];
    for (size_t n = 1 + random.Below(8); n > 0; n--)
        kMutations[random.Below(sizeof kMutations / sizeof kMutations[0])](text, random, seeds);
    return text;
}

// ----- what a failing input leaves behind -----

const char *CurrentKind = "";
int CurrentIndex = -1;
volatile DWORD InputStarted = 0;   // the tick count when the current input began, 0 between inputs

void SayWhichInput(const char *what)
{
    fprintf(stderr, "\n%s on input %s:%d of seed %llu; run it again with FUZZ_SEED=%llu FUZZ_ONLY=%s:%d\n", what,
            CurrentKind, CurrentIndex, (unsigned long long)CorpusSeed(), (unsigned long long)CorpusSeed(), CurrentKind,
            CurrentIndex);
    fflush(stderr);
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS *exception)
{
    static const struct { DWORD code; const char *meaning; } kMeanings[] = {
        { 0xC0000005, "an access violation" },
        { 0xC000001D, "the trap of a guarded stack frame that was overwritten" },
        { 0xC00000FD, "a stack overflow" },
        { 0xC0000374, "a damaged heap" },
    };
    char what[128];
    DWORD code = exception->ExceptionRecord->ExceptionCode;
    sprintf(what, "exception %08lX", code);
    for (const auto &known : kMeanings)
        if (known.code == code)
            sprintf(what, "exception %08lX, %s,", code, known.meaning);
    SayWhichInput(what);
    ExitProcess(3);
}

void OnAbort(int)
{
    SayWhichInput("abort (a guarded stack frame was overwritten, or the heap)");
    ExitProcess(3);
}

DWORD WINAPI Watchdog(void *)
{
    for (;;) {
        Sleep(500);
        DWORD started = InputStarted;
        if (started != 0 && (LONG)(GetTickCount() - started) > (LONG)kHangMs) {
            SayWhichInput("no end within 20 s");
            ExitProcess(4);
        }
    }
}

class HostileInput : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SetUnhandledExceptionFilter(OnCrash);
        signal(SIGABRT, OnAbort);
        CloseHandle(CreateThread(NULL, 0, Watchdog, NULL, 0, NULL));
        printf("corpus seed %llu, %d inputs per kind\n", (unsigned long long)CorpusSeed(), InputsPerKind());
    }

    // Runs every input of the kind (or the one FUZZ_ONLY names) through the check.
    void Feed(const char *kind, const std::vector<std::string> &seeds,
              const std::function<void(const std::string &input, int index)> &check)
    {
        std::string only = getenv("FUZZ_ONLY") != nullptr ? getenv("FUZZ_ONLY") : "";
        int first = 0, last = InputsPerKind() - 1;
        if (!only.empty()) {
            if (only.compare(0, strlen(kind) + 1, std::string(kind) + ":") != 0)
                return;
            first = last = atoi(only.c_str() + strlen(kind) + 1);
        }
        for (int index = first; index <= last && !HasFailure(); index++) {
            CurrentKind = kind;
            CurrentIndex = index;
            std::string input = MakeInput(kind, index, seeds);
            InputStarted = GetTickCount() | 1;
            check(input, index);
            InputStarted = 0;
            EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, NULL)) << "heap damaged by input " << kind << ":" << index;
            if (HasFailure())
                SayWhichInput("failure");
        }
    }
};

void FreeText(char **text)
{
    MemFree(*text);
    *text = NULL;
}

// Everything the reader allocated, so that ten thousand inputs leave the heap as small as one.
void ForgetScript()
{
    for (const MainKey *row = kMainKeyTable; row->name != NULL; row++)
        FreeText(row->value);
    for (auto list : { std::make_pair(Script.FileList, &Script.FileCount), std::make_pair(Script.LinkList, &Script.LinkCount) }) {
        for (DWORD i = 0; i < *list.second; i++)
            for (char **text : { &list.first[i].Name, &list.first[i].Path, &list.first[i].Extra })
                FreeText(text);
        *list.second = 0;
    }
}

const char kDemoScript[] =
    "[Main]\r\nAppName=Demo Audio Suite\r\nAppVersion=1.0\r\nDefaultProgramGroup=Demo Audio Suite\r\n"
    "DefaultInstallDir=%ProgramFilesDir%\\%AppName%\r\nStartMenuFolder=%CommonProgramsFolder%\r\nLicenseFile=license.txt\r\n"
    "RegisterUninstaller=1\r\nDeviceName=Demo Audio Device\r\nMmeDriverModule=demoaudio.dll\r\nMmeDriverCategories=wave,mixer\r\n"
    "ServiceName=DemoAudioService\r\nServiceImage=%WindowsDir%\\system32\\demoaudiosvc.exe\r\nServiceType=16\r\n"
    "ServiceStartup=2\r\n[Files]\r\ndemoaudio.dll=%WindowsDir%\\system32\r\nreadme.txt=%InstallDir%\r\n"
    "mixer.ini=%InstallDir%,config\r\n[Links]\r\nRead me=%InstallDir%\\readme.txt\r\nMixer=%InstallDir%\\mixer.exe,-q\r\n";
const char kDeviceScript[] =
    "[Main.NTamd64]\r\nAppName=Wdm\r\nAppVersion=2.5 beta\r\nDefaultProgramGroup=Wdm\\Tools\r\nDefaultInstallDir=C:\\Wdm\r\n"
    "DeviceName=Wdm Device\r\nDeviceHardwareId=ROOT\\WdmDevice\r\nWdmDriverInfFile=wdm.inf\r\n[Files.NTamd64]\r\n"
    "wdm.inf=%InstallDir%\r\nwdm.sys=%WindowsDir%\\system32\\drivers,drivers\r\n[Links.NTamd64]\r\nHelp=%InstallDir%\\help.txt\r\n";

TEST_F(HostileInput, SetupScriptsAreReadOrRefusedWithABox)
{
    LogCapture log;
    ASSERT_TRUE(ResolveSystemFolders());
    std::string folder = MakeTestFolder("scripts");
    ::Run.SourceDir = StrDup(folder.c_str());
    AllocateEntryLists();
    Feed("script", { kDemoScript, kDeviceScript }, [&](const std::string &input, int) {
        WriteTextFile(folder + "\\setup.ini", input);
        ReadSetupScript();
        ForgetScript();
    });
    RemoveTree(folder);
}

// The sandbox the journals name, made again before every replay, and the canaries beside and
// inside what they name, which no replay may take away unless its journal names them too.
const char kSandbox[] = "C:\\fuzz\\sandbox";
const char *const kSandboxFolders[] = { "C:\\fuzz", "C:\\fuzz\\sandbox", "C:\\fuzz\\sandbox\\dir", "C:\\fuzz\\sandbox\\dir\\sub" };
const char *const kSandboxFiles[] = { "C:\\fuzz\\sandbox\\dir\\a.txt", "C:\\fuzz\\sandbox\\dir\\sub\\b.txt", "C:\\fuzz\\sandbox\\c.txt",
                                      "C:\\fuzz\\sandbox\\keep.txt", "C:\\fuzz\\sandbox\\dir\\keep.txt", "C:\\fuzz\\keep.txt" };
const char *const kSandboxKeys[] = { "HKCU\\Software\\FuzzSandbox\\Entry", "HKCU\\Software\\FuzzSandbox\\Entry\\KeepChild",
                                     "HKCU\\Software\\FuzzSandbox\\Keep", "HKLM\\Software\\FuzzSandbox\\Entry" };
const char kCanaryService[] = "FuzzSandboxKeep";

const char kJournal[] =
    ";\r\n; Caution!\r\n; Do not delete or modify this file. It is required to product uninstallation.\r\n;\r\n\r\n"
    "AppName \"Fuzzed Product\"\r\nAdmRightsRequired\r\nCreateDir \"C:\\fuzz\\sandbox\\dir\"\r\n"
    "CreateDir \"C:\\fuzz\\sandbox\\dir\\sub\"\r\nCreateFile \"C:\\fuzz\\sandbox\\dir\\a.txt\"\r\n"
    "CreateFile \"C:\\fuzz\\sandbox\\dir\\sub\\b.txt\"\r\nCreateFile \"C:\\fuzz\\sandbox\\c.txt\"\r\n"
    "InstallService \"FuzzSandboxService\"\r\nInstallMmeDriver \"fuzzdrv.dll\"\r\nInstallDevice \"ROOT\\MEDIA\\FUZZ\"\r\n"
    "CreateKey \"HKCU\\Software\\FuzzSandbox\\Entry\"\r\nCreateKey \"HKLM\\Software\\FuzzSandbox\\Entry\"\r\n";

void MakeSandbox()
{
    for (const char *folder : kSandboxFolders)
        CreateDirectoryA(folder, NULL);
    for (const char *file : kSandboxFiles)
        if (!PathExists(file))
            WriteTextFile(file, "canary");
    for (const char *key : kSandboxKeys) {
        RegistryPath split = SplitRegistryPath(key);
        HKEY handle;
        if (RegCreateKeyA(split.root, split.subkey.c_str(), &handle) == ERROR_SUCCESS)
            RegCloseKey(handle);
    }
    if (ServiceState(kCanaryService) == "absent") {
        SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
        CloseServiceHandle(CreateServiceA(manager, kCanaryService, kCanaryService, SERVICE_ALL_ACCESS,
                                          SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                          "C:\\fuzz\\canary.exe", NULL, NULL, NULL, NULL, NULL));
        CloseServiceHandle(manager);
    }
}

// Whether the journal names the object: a line's argument or a quoted text that is its name, or
// another name of the same file (case, dots, slashes), as the system reads it.
bool Names(const std::string &journal, const std::string &object)
{
    std::vector<std::string> names;
    std::string line;
    for (char c : journal + "\n") {
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        size_t blank = line.find_first_of(" \t");
        if (blank != std::string::npos)
            names.push_back(line.substr(blank + 1));
        for (size_t open = line.find('"'); open != std::string::npos; open = line.find('"', open + 1))
            names.push_back(line.substr(open + 1, line.find('"', open + 1) - open - 1));
        line.clear();
    }
    for (std::string name : names) {
        name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
        name.erase(0, name.find_first_not_of(" \t"));
        char full[MAX_PATH] = "";
        if (lstrcmpiA(name.c_str(), object.c_str()) == 0 ||
            (name.size() < MAX_PATH && GetFullPathNameA(name.c_str(), MAX_PATH, full, NULL) != 0 &&
             lstrcmpiA(full, object.c_str()) == 0))
            return true;
    }
    return false;
}

TEST_F(HostileInput, JournalsDeleteOnlyWhatTheyName)
{
    LogCapture log;
    ASSERT_TRUE(LoadSetupApi());
    MakeSandbox();
    Feed("journal", { kJournal }, [&](const std::string &input, int) {
        MakeSandbox();
        for (const char *key : kSandboxKeys)
            ASSERT_TRUE(RegistryKeyExists(key)) << key << " cannot be made";
        // The replay consumes its text: a heap block of the input's own size.
        char *text = (char *)MemAlloc(input.size() + 1);
        CopyMemory(text, input.c_str(), input.size() + 1);
        ReplayJournal(text, kAllEvents);
        MemFree(text);
        std::string consumed = input.substr(0, strlen(input.c_str()));   // what the replay saw
        for (const char *file : kSandboxFiles)
            EXPECT_TRUE(PathExists(file) || Names(consumed, file)) << file << " deleted, not named in:\n" << consumed;
        for (const char *key : kSandboxKeys)
            EXPECT_TRUE(RegistryKeyExists(key) || Names(consumed, key)) << key << " deleted, not named in:\n" << consumed;
        EXPECT_TRUE(ServiceState(kCanaryService) != "absent" || Names(consumed, kCanaryService)) << consumed;
    });
    DeleteServiceNamed(kCanaryService);
    RemoveTree("C:\\fuzz");
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\FuzzSandbox");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\FuzzSandbox");
}

TEST_F(HostileInput, CommandLinesAreTakenOrRefusedWithABox)
{
    LogCapture log;
    const std::vector<std::string> seeds = {
        "", "-c", "-u", "-u -p 000004D2 -d \"C:\\Program Files\\Example\"", "-u -p FFFFFFFF -d \"C:\\fuzz\\sandbox\"",
        "\"C:\\Program Files\\Example\\setup.exe\" -u", "setup.exe   -c  ",
    };
    Feed("cmdline", seeds, [&](const std::string &input, int) {
        // The whole line as Windows hands it over, then the rest as the parser reads it.
        std::string whole = "setup.exe " + input;
        ::Run.CommandLineTail = StripProgramName(whole.c_str());
        ParseCommandLine();
        FreeText(&::Run.InstallDir);
        ::Run.CommandLineTail = "";
        ::Run.PrimaryPid = 0;
        ::Run.InstallMode = true;
        ::Run.SourceFromCurrentDir = false;
    });
}

}  // namespace
