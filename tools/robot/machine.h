// The machine as the robot's users look at it: files, trace logs, the registry, services, and a
// snapshot of all of it that can be compared with a later one.
#pragma once
#include <windows.h>
#include <map>
#include <string>
#include <vector>

// "*" in the pattern matches any run of characters; everything else stands for itself.
bool Matches(const std::string &pattern, const std::string &text);
std::string ReadFileText(const std::string &path);   // "" when it cannot be read
bool WriteTextFile(const std::string &path, const std::string &content);
std::vector<std::string> ListFolder(const std::string &pattern);   // names, sorted, without . and ..
void RemoveTree(const std::string &path);
bool CopyTree(const std::string &from, const std::string &to);
bool PathExists(const std::string &path);
std::vector<std::string> SplitLines(const std::string &text);      // at CR LF
std::string TempFolder();                                          // without the trailing backslash
std::vector<std::string> TraceLogs();                              // full paths, in the temp folder
std::vector<std::string> NewTraceLogs(const std::vector<std::string> &before);

// A trace log's whole text, and whether its run deleted it at its end.
struct TraceLogCopy {
    std::string text;
    bool deleted = false;
};

// The trace logs of the runs that start from now on, each held open from the moment it is seen:
// a run that deletes its log at its end leaves it readable whole until the watch lets go.
class TraceLogWatch {
public:
    TraceLogWatch();
    ~TraceLogWatch();   // lets go: a log its run deleted is gone then
    TraceLogWatch(const TraceLogWatch &) = delete;
    TraceLogWatch &operator=(const TraceLogWatch &) = delete;
    void Look();                                   // holds every log that appeared since
    // Each held log, read now, once the runs have ended; the watch lets go then.
    std::map<std::string, TraceLogCopy> Collect();

private:
    std::vector<std::string> before_;
    std::map<std::string, HANDLE> held_;
};

// A product's own setup.exe (tools/package.sh) carries its binding; and the version resource's
// string NAME ("ProductName", ...) of a program, "" when it has none.
bool IsBoundProgram(const std::string &exe);
std::string VersionString(const std::string &exe, const char *name);

// A shortcut file's content as the shell reads it; false when it cannot be read.
struct Shortcut {
    std::string target, arguments, folder, description;
};
bool ReadShortcut(const std::string &path, Shortcut *shortcut);

// Registry paths are written with a root prefix: "HKLM\\..." or "HKCU\\...".
struct RegistryPath {
    HKEY root;            // null for a root the robot does not know
    std::string subkey;
};
RegistryPath SplitRegistryPath(const std::string &path);
bool RegistryKeyExists(const std::string &path);
std::string RegistryValue(const std::string &path, const char *name);   // "" when absent; numbers in decimal

// The files queued for deletion at the next restart (PendingFileRenameOperations, raw), and a way
// to empty that queue so the shared prefix is never asked to carry it out.
std::string PendingRenames();
void ClearPendingRenames();

// Devices: the instance ids of the present ones that list an id (as hardware or compatible id),
// their removal, and a registered one made with an id list ("ID|ID") as the property given.
std::vector<std::string> PresentDevices(const std::string &hardwareId);
void RemoveDevices(const std::string &hardwareId);
bool MakeDevice(const std::string &ids, DWORD property);
// "running", "stopped", another state's number, or "absent"; a service still starting is waited for.
std::string ServiceState(const std::string &name);
void DeleteServiceNamed(const std::string &name);   // stopped first when it can be
// A service of its own process, started on demand, that was there before the program came.
bool MakeService(const std::string &name, const std::string &image);
// The legacy drivers' keys emptied of every value, and the test driver module's record of the
// messages it was sent removed: where a failed test left them, the next starts clean.
void ClearDriverKeys();

// Every file and folder of drive C:, every key and value under HKLM and HKCU and every service,
// each as one item ("file C:\\...", "key HKLM\\...", "value HKLM\\...|name", "service name")
// with what it holds (a file's size, a value's type and data, a service's state).
// The COM class registrations are most of the registry and nothing this setup program writes:
// a quick snapshot leaves them out.
typedef std::map<std::string, std::string> Snapshot;
enum SnapshotScope { kWholeMachine, kWithoutClasses };
Snapshot TakeSnapshot(SnapshotScope scope = kWholeMachine);

struct Change {
    char kind;   // '+' added, '-' removed, '~' changed
    std::string item, before, after;
};
std::vector<Change> CompareSnapshots(const Snapshot &before, const Snapshot &after);
// Removes what the changes added: files, folders, keys, values and services (a later test's start).
void TakeBackAdditions(const std::vector<Change> &changes);
// Changes that are no program's: Wine's own bookkeeping while programs run.
bool IsWineBookkeeping(const std::string &item);
// What the change is: "before -> after", or the value added or removed.
std::string ChangeDetail(const Change &change);
// Why the design leaves the change on purpose, or null.
const char *ReasonLeft(const std::string &item);
// The changes neither Wine's nor left on purpose, one per line ("+ item"); "" when there are none.
std::string Leftovers(const Snapshot &before, const Snapshot &after);
// The display, the sound devices and the RPC service, which Wine sets up the first time a program
// needs them: set up before a first snapshot, they are not counted as a program's doing.
void WarmUpWine();
