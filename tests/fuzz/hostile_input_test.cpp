// Hostile input: mutated uninst.ini journals fed through the journal replay in one process, built
// with every stack frame guarded and run with Wine's heap checking. No input may crash, hang or
// damage the heap, and a replay may delete nothing that its journal does not name. (setup.ini is
// read by the system's profile reader and the command line by the unit-tested token reader.)
//   FUZZ_SEED    the corpus's seed (printed; a fixed one when unset)
//   FUZZ_INPUTS  how many inputs (default 200)
//   FUZZ_ONLY    the index of one input to run again
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include "../unit/common/log_capture.h"
#include "support/memory.h"
#include "support/runstate.h"
#include "system/setupapi_binding.h"
#include "uninstall/journal_replay.h"

namespace {

const DWORD kHangMs = 20000;

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

// Pieces that mean something to the journal.
const char *const kTokens[] = {
    "\r\n", "\n", "\r", "\"", "\"\"", "%", "%InstallDir%", "\\", "..\\", "\\\\?\\", "C:\\fuzz\\sandbox\\", "AppName ",
    "CreateFile ", "CreateDir ", "CreateKey ", "CreateValue ", "InstallService ", "InstallDevice ", "InstallMmeDriver ",
    "AdmRightsRequired", "HKLM\\", "HKCU\\", "HKCR\\", " ", "\t",
    "FFFFFFFF", "99999999999", "\xff", "\x80",
};

// Runs long enough for every buffer: a path, a journal line, a formatted line.
const size_t kLengths[] = { 63, 127, 255, 259, 260, 367, 368, 1023, 1024, 4095, 32767, 65535 };

void Mutate(std::string &t, Random &r, const std::string &seed)
{
    size_t at = r.Below(t.size() + 1);
    switch (r.Below(8)) {
    case 0:   // a bit or a byte
        if (!t.empty())
            t[r.Below(t.size())] ^= (char)(1 << r.Below(8));
        break;
    case 1:
    case 2:
        t.insert(at, kTokens[r.Below(sizeof kTokens / sizeof kTokens[0])]);
        break;
    case 3:
        t.erase(at, 1 + r.Below(std::min<size_t>(64, t.size() - at + 1)));
        break;
    case 4: {   // a piece repeated
        std::string piece = t.substr(at, 1 + r.Below(32));
        for (size_t n = 1 + r.Below(64); n > 0; n--)
            t.insert(at, piece);
        break;
    }
    case 5: {   // a long run, mostly at a line's end, where an argument ends
        size_t end = t.find('\r', at);
        t.insert(end != std::string::npos && r.Below(4) != 0 ? end : at, std::string(kLengths[r.Below(12)] + r.Below(3), "A%\\\" x"[r.Below(6)]));
        break;
    }
    case 6:
        t.resize(at);
        break;
    default:   // a piece of the seed
        t.insert(at, seed.substr(r.Below(seed.size() + 1), r.Below(200)));
    }
}

uint64_t CorpusSeed() { return getenv("FUZZ_SEED") != nullptr ? strtoull(getenv("FUZZ_SEED"), nullptr, 0) : 20261206; }
int Inputs() { return getenv("FUZZ_INPUTS") != nullptr ? atoi(getenv("FUZZ_INPUTS")) : 200; }

// Input INDEX is the same for the same seed, whatever ran before it.
std::string MakeInput(int index, const std::string &seed)
{
    Random random = { CorpusSeed() ^ ((uint64_t)index << 20) };
    std::string text = seed;
    for (size_t n = 1 + random.Below(8); n > 0; n--)
        Mutate(text, random, seed);
    return text;
}

// What a failing input leaves behind: which one it was, to run it again.
int currentIndex = -1;
volatile DWORD inputStarted = 0;   // the tick count when the current input began, 0 between inputs

void SayWhichInput(const char *what)
{
    unsigned long long seed = CorpusSeed();
    fprintf(stderr, "\n%s on input %d of seed %llu; run it again with FUZZ_SEED=%llu FUZZ_ONLY=%d\n", what, currentIndex, seed,
            seed, currentIndex);
    fflush(stderr);
}

// An access violation, the trap of an overwritten stack guard, a stack overflow, a damaged heap;
// an input that takes too long.
LONG WINAPI OnCrash(EXCEPTION_POINTERS *exception)
{
    char what[64];
    sprintf(what, "exception %08lX", exception->ExceptionRecord->ExceptionCode);
    SayWhichInput(what);
    ExitProcess(3);
}

DWORD WINAPI WatchForHangs(void *)
{
    for (DWORD started;; Sleep(500))
        if ((started = inputStarted) != 0 && (LONG)(GetTickCount() - started) > (LONG)kHangMs) {
            SayWhichInput("no end within 20 s");
            ExitProcess(4);
        }
}

// The sandbox the journals name, made again before every replay, and the canaries beside and
// inside what they name, which no replay may take away unless its journal names them too.
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
    if (ServiceState(kCanaryService) == "absent")
        MakeService(kCanaryService, "C:\\fuzz\\canary.exe");
}

// Whether the journal names the object: a line's argument or a quoted text that is its name, or
// another name of the same file or key (case, dots, slashes, a trailing or doubled backslash,
// the "\\?\" prefix), as the system reads it.
bool Names(const std::string &journal, const std::string &object)
{
    for (const std::string &line : SplitLines(journal + "\r\n")) {
        std::vector<std::string> names;
        if (line.find_first_of(" \t") != std::string::npos)
            names.push_back(line.substr(line.find_first_of(" \t") + 1));
        for (size_t open = line.find('"'); open != std::string::npos; open = line.find('"', open + 1))
            names.push_back(line.substr(open + 1, line.find('"', open + 1) - open - 1));
        for (std::string name : names) {
            name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
            name.erase(0, name.find_first_not_of(" \t"));
            name.erase(name.find_last_not_of('\\') + 1);   // "Entry\" names the key or folder "Entry"
            name.erase(0, name.compare(0, 4, "\\\\?\\") == 0 ? 4 : 0);   // so does "\\?\C:\..." the file "C:\..."
            for (size_t at = name.find("\\\\", 1); at != std::string::npos; at = name.find("\\\\", at))
                name.erase(at, 1);   // and a doubled separator a single one
            char full[MAX_PATH] = "";
            if (lstrcmpiA(name.c_str(), object.c_str()) == 0 ||
                (name.size() < MAX_PATH && GetFullPathNameA(name.c_str(), MAX_PATH, full, NULL) != 0 && lstrcmpiA(full, object.c_str()) == 0))
                return true;
        }
    }
    return false;
}

TEST(HostileInput, JournalsDeleteOnlyWhatTheyName)
{
    SetUnhandledExceptionFilter(OnCrash);
    signal(SIGABRT, [](int) {
        SayWhichInput("abort (a guarded stack frame was overwritten, or the heap)");
        ExitProcess(3);
    });
    CloseHandle(CreateThread(NULL, 0, WatchForHangs, NULL, 0, NULL));
    printf("corpus seed %llu, %d inputs\n", (unsigned long long)CorpusSeed(), Inputs());
    LogCapture log;
    ASSERT_TRUE(LoadSetupApi());
    int first = getenv("FUZZ_ONLY") != nullptr ? atoi(getenv("FUZZ_ONLY")) : 0;
    int last = getenv("FUZZ_ONLY") != nullptr ? first : Inputs() - 1;
    for (currentIndex = first; currentIndex <= last && !::testing::Test::HasFailure(); currentIndex++) {
        std::string input = MakeInput(currentIndex, kJournal);
        MakeSandbox();
        inputStarted = GetTickCount() | 1;
        // The replay consumes its text: a heap block of the input's own size.
        char *text = (char *)MemAlloc(input.size() + 1);
        CopyMemory(text, input.c_str(), input.size() + 1);
        ReplayJournal(text, kAllEvents);
        MemFree(text);
        inputStarted = 0;
        EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, NULL)) << "heap damaged";
        std::string seen = input.substr(0, strlen(input.c_str()));   // what the replay saw
        for (const char *file : kSandboxFiles)
            EXPECT_TRUE(PathExists(file) || Names(seen, file)) << file << " deleted, not named in:\n" << seen;
        for (const char *key : kSandboxKeys)
            EXPECT_TRUE(RegistryKeyExists(key) || Names(seen, key)) << key << " deleted, not named in:\n" << seen;
        EXPECT_TRUE(ServiceState(kCanaryService) != "absent" || Names(seen, kCanaryService)) << seen;
        if (::testing::Test::HasFailure())
            SayWhichInput("failure");
    }
    DeleteServiceNamed(kCanaryService);
    RemoveTree("C:\\fuzz");
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\FuzzSandbox");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\FuzzSandbox");
}

}  // namespace
