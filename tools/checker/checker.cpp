#include "checker.h"
#include <windows.h>
#include <algorithm>
#include <set>
#include "audio/legacy_driver.h"
#include "audio/pnp_device.h"
#include "install/copy_files.h"
#include "install/folders.h"
#include "install/install_product.h"
#include "script/script_reader.h"
#include "script/setup_script.h"
#include "script/variables.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/text.h"
#include "system/file_ops.h"

namespace {

const char kDecoration[] = ".NTamd64";
const char kReference[] = " (setup-ini.md#%s)";

std::string Lower(std::string text)
{
    CharLowerBuffA(&text[0], (DWORD)text.size());
    return text;
}

bool SameText(const std::string &a, const std::string &b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

std::string Trimmed(const std::string &text)
{
    size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

// setup.ini as lines: where each section and each key is, as the profile reader finds them (the
// first of a name, names compared without regard to case).
struct KeyLine {
    std::string section, name, value;
    int line;
};

struct ScriptLines {
    std::vector<std::pair<std::string, int>> sections;
    std::vector<KeyLine> keys;

    int SectionLine(const std::string &section) const
    {
        for (const auto &s : sections)
            if (SameText(s.first, section))
                return s.second;
        return 0;
    }
    const KeyLine *Key(const std::string &section, const std::string &name) const
    {
        for (const KeyLine &key : keys)
            if (SameText(key.section, section) && SameText(key.name, name))
                return &key;
        return nullptr;
    }
    int KeyOrSectionLine(const std::string &section, const std::string &name) const
    {
        const KeyLine *key = Key(section, name);
        return key != nullptr ? key->line : SectionLine(section);
    }
};

ScriptLines ReadLines(const std::string &text)
{
    ScriptLines lines;
    std::string section;
    int number = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        std::string line = Trimmed(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? text.size() : end + 1;
        number++;
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            section = Trimmed(line.substr(1, line.find(']') - 1));
            if (lines.SectionLine(section) == 0)
                lines.sections.push_back({ section, number });
        } else if (line.find('=') != std::string::npos && lines.Key(section, Trimmed(line.substr(0, line.find('=')))) == nullptr) {
            lines.keys.push_back({ section, Trimmed(line.substr(0, line.find('='))), Trimmed(line.substr(line.find('=') + 1)), number });
        }
    }
    return lines;
}

// The findings so far, and where a box of the installer's own code belongs while it runs.
struct Check {
    std::string scriptPath;
    ScriptLines lines;
    std::vector<Finding> findings;
    int boxLine = 0;
    std::string boxWhere;
    const char *boxAnchor = nullptr;
    std::set<std::string> installed;   // lower-case destinations of [Files]
};

Check *current;

void Add(int line, const std::string &where, bool error, const std::string &text, const char *anchor = nullptr)
{
    char reference[64] = "";
    if (anchor != nullptr)
        wsprintfA(reference, kReference, anchor);
    current->findings.push_back({ line, line == 0 ? where : "", error, text + reference });
}

// The installer's own checks show their refusals in boxes: here each becomes an error where the
// check was looking.
int TakeBox(UINT, const char *text)
{
    Add(current->boxLine, current->boxWhere, true, text, current->boxAnchor);
    return 0;
}

void LookAt(int line, const std::string &where, const char *anchor)
{
    current->boxLine = line;
    current->boxWhere = where;
    current->boxAnchor = anchor;
}

std::string Format(const char *format, const std::string &a, const std::string &b = "", const std::string &c = "")
{
    char text[kMaxFormattedText];
    wsprintfA(text, format, a.c_str(), b.c_str(), c.c_str());
    return text;
}

// The message a system error gives, as the installer words it.
std::string SystemMessage(const char *format, const std::string &path, DWORD error)
{
    char errorText[kErrorTextSize];
    return Format(format, path, ErrorText(errorText, error));
}

std::string Decorated(const std::string &section)
{
    return section + kDecoration;
}

// The smallest number of single-character edits from one name to the other, case ignored.
size_t Distance(const std::string &a, const std::string &b)
{
    std::string x = Lower(a), y = Lower(b);
    std::vector<size_t> row(y.size() + 1);
    for (size_t j = 0; j <= y.size(); j++)
        row[j] = j;
    for (size_t i = 1; i <= x.size(); i++) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= y.size(); j++) {
            size_t above = row[j];
            row[j] = std::min({ row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1) });
            diagonal = above;
        }
    }
    return row[y.size()];
}

std::string Suggestion(const std::string &name, const std::vector<std::string> &known)
{
    std::string best;
    size_t bestDistance = 4;
    for (const std::string &candidate : known) {
        size_t distance = Distance(name, candidate);
        if (distance < bestDistance && distance <= std::max<size_t>(2, candidate.size() / 3)) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

const char *const kSections[] = { "Main", "Files", "Links" };

void CheckSectionNames()
{
    std::vector<std::string> known;
    for (const char *section : kSections) {
        known.push_back(section);
        known.push_back(Decorated(section));
    }
    for (const auto &section : current->lines.sections) {
        if (std::any_of(known.begin(), known.end(), [&](const std::string &k) { return SameText(k, section.first); }))
            continue;
        std::string nearest = Suggestion(section.first, known);
        Add(section.second, "", false, "[" + section.first + "]: unknown section" +
            (nearest.empty() ? "; the installer reads only [Main], [Files] and [Links] and their .NTamd64 twins"
                          : "; did you mean [" + nearest + "]?"), "how-setupini-is-read");
    }
}

std::vector<std::string> MainKeyNames()
{
    std::vector<std::string> names;
    for (const MainKey *row = kMainKeyTable; row->name != NULL; row++)
        names.push_back(row->name);
    return names;
}

void CheckMainKeyNames()
{
    std::vector<std::string> known = MainKeyNames();
    for (const KeyLine &key : current->lines.keys) {
        if (!SameText(key.section, "Main") && !SameText(key.section, Decorated("Main")))
            continue;
        if (std::any_of(known.begin(), known.end(), [&](const std::string &k) { return SameText(k, key.name); }))
            continue;
        std::string nearest = Suggestion(key.name, known);
        Add(key.line, "", false, key.name + ": unknown key" + (nearest.empty() ? "; the installer ignores it" : "; did you mean " + nearest + "?"),
            "main");
    }
}

// A [Main] value read and expanded as the installer does it: the plain section first, the
// decorated one after it, so a value may use only what is known by then.
void ReadMainPass(const std::string &section, bool decorated)
{
    for (const MainKey *row = kMainKeyTable; row->name != NULL; row++) {
        char value[kMainValueSize];
        if (ReadProfileValue(current->scriptPath.c_str(), section.c_str(), row->name, value, kMainValueSize) <= 0)
            continue;
        int line = current->lines.KeyOrSectionLine(section, row->name);
        if (*row->value != NULL) {
            Add(line, "", true, Format(kDuplicateKeyMessage, row->name), "main");
            continue;
        }
        char expanded[MAX_PATH];
        if (!ExpandVariables(expanded, value)) {
            char errorText[kErrorTextSize];
            Add(line, "", true, Format(kKeyTooLongMessage, row->name, ErrorText(errorText, ERROR_FILENAME_EXCED_RANGE)), "main");
            continue;
        }
        *row->value = StrDup(expanded);
        // A value empty in one of the twins is no duplicate: the other one counts.
        char other[kMainValueSize];
        std::string otherSection = decorated ? "Main" : Decorated("Main");
        if (ReadProfileValue(current->scriptPath.c_str(), otherSection.c_str(), row->name, other, kMainValueSize) == 0)
            Add(current->lines.KeyOrSectionLine(otherSection, row->name), "", false,
                std::string(row->name) + " is also in [" + otherSection + "], empty: the value in [" + section + "] counts", "main");
    }
}

void CheckRequiredKeys()
{
    for (const MainKey *row = kMainKeyTable; row->name != NULL; row++)
        if (row->required && (*row->value == NULL || (*row->value)[0] == '\0'))
            Add(current->lines.SectionLine("Main"), "[Main]", true, Format(kMissingKeyMessage, row->name), "main");
}

// A comment after a value stays part of it: the profile reader knows comment lines only.
void CheckInlineComments()
{
    for (const KeyLine &key : current->lines.keys) {
        size_t mark = key.value.find_first_of(";#");
        if (mark != std::string::npos)
            Add(key.line, "", false, key.name + ": the value holds '" + key.value.substr(mark, 1) + "', and all after it is part of "
                "the value; comments take lines of their own", "how-setupini-is-read");
    }
}

void CheckRegisterUninstaller()
{
    if (Script.RegisterUninstaller != NULL && lstrcmpA(Script.RegisterUninstaller, "1") != 0)
        Add(current->lines.KeyOrSectionLine("Main", "RegisterUninstaller"), "", false,
            std::string("RegisterUninstaller is \"") + Script.RegisterUninstaller + "\": only 1 registers the uninstaller, "
            "anything else registers nothing", "main");
}

bool IsVariableName(const std::string &name)
{
    return !name.empty() && name.size() <= 50 &&
           std::all_of(name.begin(), name.end(), [](char c) { return IsCharAlphaNumericA(c) || c == '_'; });
}

// What a %Name% that is not one of the installer's own becomes, or "" when it is fine.
std::string VariableProblem(const std::string &name, bool inMain)
{
    for (const Variable *variable = kVariableTable; variable->name != NULL; variable++) {
        if (name == variable->name)
            return inMain && name == "InstallDir" ? "%InstallDir% is not known while [Main] is read: it expands to nothing" : "";
        if (SameText(name, variable->name))
            return "%" + name + "%: variable names are case-sensitive; did you mean %" + variable->name + "%?";
    }
    if (GetEnvironmentVariableA(name.c_str(), NULL, 0) != 0)
        return "";
    return "%" + name + "%: no such variable; it stays as written";
}

// The installer takes %Name% from its own table first, then from the environment.
void CheckVariables()
{
    for (const KeyLine &key : current->lines.keys) {
        bool inMain = SameText(key.section, "Main") || SameText(key.section, Decorated("Main"));
        for (size_t open = key.value.find('%'); open != std::string::npos; open = key.value.find('%', open + 1)) {
            size_t close = key.value.find('%', open + 1);
            if (close == std::string::npos)
                break;
            std::string name = key.value.substr(open + 1, close - open - 1);
            if (!IsVariableName(name))
                continue;
            std::string problem = VariableProblem(name, inMain);
            if (!problem.empty())
                Add(key.line, "", false, problem, "variables");
            open = close;
        }
    }
}

std::string FolderOf(const std::string &path)
{
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

// The folders a fresh Windows has, which the installation may write into without making them.
bool OnAFreshWindows(const std::string &folder)
{
    if (folder.size() == 2 && folder[1] == ':')
        return true;
    const std::string windows = SystemFolders.WindowsDir, programs = SystemFolders.ProgramFilesDir;
    const std::string fresh[] = { windows, windows + "\\system32", windows + "\\system32\\drivers", windows + "\\inf",
                                  windows + "\\Fonts", programs, programs + "\\Common Files",
                                  SystemFolders.CommonProgramsFolder, SystemFolders.LocalProgramsFolder };
    return std::any_of(std::begin(fresh), std::end(fresh), [&](const std::string &f) { return SameText(f, folder); });
}

void CheckInstallFolder()
{
    if (Script.DefaultInstallDir == NULL)
        return;
    std::string parent = FolderOf(Script.DefaultInstallDir);
    if (!parent.empty() && !OnAFreshWindows(parent))
        Add(current->lines.KeyOrSectionLine("Main", "DefaultInstallDir"), "", true,
            SystemMessage(kCannotCreateDirectory, Script.DefaultInstallDir, ERROR_PATH_NOT_FOUND) +
            " on a fresh Windows: only the last folder of DefaultInstallDir is created", "main");
}

// Where a list passes its limit: the first entry too many, counted over the plain section and
// then its twin as the installer reads them; else the section's own line.
int LineOfLimit(const std::string &section)
{
    UINT read = 0;
    for (const std::string &name : { section, Decorated(section) })
        for (const KeyLine &key : current->lines.keys)
            if (SameText(key.section, name) && ++read > kScriptEntryLimit)
                return key.line;
    return current->lines.SectionLine(section);
}

// The list's entries come from the plain section first: how many came from there.
DWORD PlainEntries(const char *section, DWORD count)
{
    DWORD plain = (DWORD)std::count_if(current->lines.keys.begin(), current->lines.keys.end(),
                                       [&](const KeyLine &k) { return SameText(k.section, section); });
    return std::min(plain, count);
}

int EntryLine(const ScriptEntry *entry, DWORD index, DWORD plain, const char *section)
{
    return current->lines.KeyOrSectionLine(index < plain ? section : Decorated(section), entry->Name);
}

// Each [Files] entry as the installation copies it: its source there, its destination folder
// there or made by the installation, and no destination twice.
void CheckFiles()
{
    DWORD plain = PlainEntries("Files", Script.FileCount);
    for (DWORD i = 0; i < Script.FileCount; i++) {
        const ScriptEntry *entry = &Script.FileList[i];
        int line = EntryLine(entry, i, plain, "Files");
        char source[MAX_PATH], destination[MAX_PATH];
        LookAt(line, "", "files");
        if (!ComposeEntryPaths(entry, source, destination))
            continue;
        if (!FileExists(source))
            Add(line, "", true, SystemMessage(kCannotOpenSource, source, GetLastError()), "files");
        std::string folder = FolderOf(destination);
        if (!SameText(folder, Run.InstallDir) && !OnAFreshWindows(folder))
            Add(line, "", true, SystemMessage(kCannotCreateDestination, destination, ERROR_PATH_NOT_FOUND) +
                ": nothing creates the folder " + folder, "files");
        if (!current->installed.insert(Lower(destination)).second)
            Add(line, "", true, Format(kAlreadyExists, "File", destination) + ": two entries install it", "files");
    }
}

bool Installed(const std::string &path)
{
    return current->installed.count(Lower(path)) != 0;
}

// A program named with its arguments: the longest blank-ended beginning that is a file.
bool InstalledOrThere(const std::string &command)
{
    for (size_t end = command.size(); end != std::string::npos && end > 0; end = command.rfind(' ', end - 1)) {
        std::string path = command.substr(0, end);
        if (Installed(path) || FileExists(path.c_str()))
            return true;
    }
    return false;
}

void CheckLinks()
{
    std::set<std::string> names;
    DWORD plain = PlainEntries("Links", Script.LinkCount);
    for (DWORD i = 0; i < Script.LinkCount; i++) {
        const ScriptEntry *entry = &Script.LinkList[i];
        int line = EntryLine(entry, i, plain, "Links");
        char target[MAX_PATH];
        LookAt(line, "", "links");
        if (!ExpandVariables(target, entry->Path, "Cannot set shortcut object path \"%s\" (%s)"))
            continue;
        if (!InstalledOrThere(target))
            Add(line, "", false, std::string(entry->Name) + ": no [Files] entry installs its target " + target, "links");
        if (!names.insert(Lower(entry->Name)).second)
            Add(line, "", false, std::string(entry->Name) + ": a second shortcut of this name replaces the first", "links");
    }
}

void CheckService()
{
    if (Script.ServiceImage != NULL && !InstalledOrThere(Script.ServiceImage))
        Add(current->lines.KeyOrSectionLine("Main", "ServiceImage"), "", false,
            std::string("ServiceImage: no [Files] entry installs ") + Script.ServiceImage, "a-service");
}

void CheckLegacyDriver()
{
    if (Script.MmeDriverModule == NULL)
        return;
    int line = current->lines.KeyOrSectionLine("Main", "MmeDriverModule");
    if (Script.MmeDriverCategories != NULL) {
        LookAt(current->lines.KeyOrSectionLine("Main", "MmeDriverCategories"), "", "a-legacy-driver");
        ParseMmeCategories(Script.MmeDriverCategories);
    }
    char module[MAX_PATH];
    if (JoinPath(module, SystemFolders.WindowsDir, (std::string("system32\\") + Script.MmeDriverModule).c_str()) && !Installed(module))
        Add(line, "", false, std::string("MmeDriverModule: no [Files] entry copies ") + Script.MmeDriverModule +
            " into the system folder (%WindowsDir%\\system32), where Windows looks for it", "a-legacy-driver");
}

// 64-bit Windows installs no driver package without a signed catalog.
void CheckDriverPackage()
{
    if (Script.WdmDriverInfFile == NULL)
        return;
    char inf[MAX_PATH];
    LookAt(current->lines.KeyOrSectionLine("Main", "WdmDriverInfFile"), "", "a-plug-and-play-device");
    if (!FindSourceInf(inf))
        return;
    char catalog[MAX_PATH] = "";
    GetPrivateProfileStringA("Version", "CatalogFile", "", catalog, MAX_PATH, inf);
    if (catalog[0] == '\0')
        GetPrivateProfileStringA("Version", "CatalogFile.NTamd64", "", catalog, MAX_PATH, inf);
    if (catalog[0] == '\0')
        Add(current->boxLine, "", false, std::string(Script.WdmDriverInfFile) + " names no CatalogFile: 64-bit Windows "
            "refuses a driver package without a signed catalog", "a-plug-and-play-device");
}

void CheckNamedFiles()
{
    if (Script.LicenseFile != NULL) {
        char path[MAX_PATH];
        LookAt(current->lines.KeyOrSectionLine("Main", "LicenseFile"), "", "main");
        if (JoinPath(path, Run.SourceDir, Script.LicenseFile, kCannotOpenFile))
            MemFree(LoadFile(path, Script.LicenseFile, NULL));
    }
    char help[MAX_PATH];
    if (Script.HelpFile != NULL && (!JoinPath(help, Run.SourceDir, Script.HelpFile) || !FileExists(help)))
        Add(current->lines.KeyOrSectionLine("Main", "HelpFile"), "", false,
            std::string("HelpFile: ") + Script.HelpFile + " is not in the product folder, so the Help button stays hidden", "main");
}

// The run state as an installation on this machine starts it, with the proposed folders.
void StartAsTheInstaller(const std::string &folder)
{
    Script = SetupScript();
    AllocateEntryLists();
    Run.IsNT = true;
    GetNativeSystemInfo(&Run.SystemInfo);
    Run.SourceDir = StrDup(folder.c_str());
    Run.InstallDir = NULL;
    ResolveSystemFolders();
}

std::string ScriptText(const char *path)
{
    char *text = LoadFile(path, "setup.ini", NULL);
    std::string copy = text != NULL ? text : "";
    MemFree(text);
    return copy;
}

void CheckScript(const std::string &folder)
{
    char path[MAX_PATH];
    StartAsTheInstaller(folder);
    LookAt(0, "", "what-to-ship");
    if (!JoinPath(path, folder.c_str(), "setup.ini", kCannotOpenFile))
        return;
    if (!FileExists(path)) {
        Add(0, "", true, SystemMessage(kCannotOpenFile, path, GetLastError()), "what-to-ship");
        return;
    }
    current->scriptPath = path;
    current->lines = ReadLines(ScriptText(path));
    CheckSectionNames();
    CheckMainKeyNames();
    CheckInlineComments();
    CheckVariables();
    ReadMainPass("Main", false);
    ReadMainPass(Decorated("Main"), true);
    CheckRequiredKeys();
    CheckRegisterUninstaller();
    LookAt(current->lines.KeyOrSectionLine("Main", "DeviceName"), "[Main]", "main");
    CheckDeviceKeys();
    LookAt(current->lines.KeyOrSectionLine("Main", "ServiceName"), "[Main]", "a-service");
    CheckServiceKeys();
    if (Script.DefaultInstallDir != NULL)
        Run.InstallDir = StrDup(Script.DefaultInstallDir);
    LookAt(LineOfLimit("Files"), "[Files]", "files");
    ReadFilesSection(path);
    LookAt(LineOfLimit("Links"), "[Links]", "links");
    ReadLinksSection(path);
    CheckInstallFolder();
    CheckNamedFiles();
    if (Run.InstallDir != NULL)
        current->installed.insert(Lower(std::string(Run.InstallDir) + "\\setup.exe"));   // the installer itself
    CheckFiles();
    CheckLinks();
    CheckService();
    CheckLegacyDriver();
    CheckDriverPackage();
}

}  // namespace

std::vector<Finding> CheckProduct(const std::string &folder)
{
    Check check;
    current = &check;
    SetBoxSink(TakeBox);
    CheckScript(folder);
    SetBoxSink(NULL);
    current = nullptr;
    std::stable_sort(check.findings.begin(), check.findings.end(), [](const Finding &a, const Finding &b) { return a.line < b.line; });
    return check.findings;
}

std::string FindingText(const Finding &finding)
{
    std::string where = finding.line != 0 ? std::to_string(finding.line) : finding.where;
    return "setup.ini" + (where.empty() ? "" : ":" + where) + ": " + (finding.error ? "error" : "warning") + ": " + finding.text;
}

size_t ErrorCount(const std::vector<Finding> &findings)
{
    return std::count_if(findings.begin(), findings.end(), [](const Finding &f) { return f.error; });
}

std::string FindingsSummary(const std::vector<Finding> &findings)
{
    size_t errors = ErrorCount(findings);
    size_t warnings = findings.size() - errors;
    if (findings.empty())
        return "setup.ini: no problems found";
    return "setup.ini: " + std::to_string(errors) + (errors == 1 ? " error, " : " errors, ") + std::to_string(warnings) +
           (warnings == 1 ? " warning" : " warnings");
}
