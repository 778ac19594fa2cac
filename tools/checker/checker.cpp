#include "checker.h"
#include <windows.h>
#include <algorithm>
#include <map>
#include <set>
#include "inf_file.h"
#include "program_file.h"
#include "audio/legacy_driver.h"
#include "audio/pnp_device.h"
#include "install/copy_files.h"
#include "install/install_product.h"
#include "script/script_reader.h"
#include "script/setup_script.h"
#include "script/variables.h"
#include "support/encoding.h"
#include "support/errortext.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/text.h"
#include "system/file_ops.h"
#include "machine.h"

namespace {

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

bool IsMainSection(const std::string &section)
{
    char decorated[kSectionNameSize];
    return SameText(section, "Main") || (DecoratedSection(decorated, "Main") && SameText(section, decorated));
}

// setup.ini as lines: where each section and each key is, as the profile reader finds them (the
// first of a name counts, names compared without regard to case), and the keys given again.
struct KeyLine {
    std::string section, name, value;
    int line;
};

struct ScriptLines {
    std::vector<std::pair<std::string, int>> sections;
    std::vector<KeyLine> keys, repeated;

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
    // A [Main] key in the plain section or its twin.
    int MainKeyLine(const std::string &name) const
    {
        char decorated[kSectionNameSize];
        if (Key("Main", name) == nullptr && DecoratedSection(decorated, "Main") && Key(decorated, name) != nullptr)
            return Key(decorated, name)->line;
        return KeyOrSectionLine("Main", name);
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
        } else if (line.find('=') != std::string::npos) {
            KeyLine key = { section, Trimmed(line.substr(0, line.find('='))), Trimmed(line.substr(line.find('=') + 1)), number };
            (lines.Key(section, key.name) == nullptr ? lines.keys : lines.repeated).push_back(key);
        }
    }
    return lines;
}

// The findings so far, and where a box of the installer's own code belongs while it runs.
struct Check {
    std::string sourcePath, readPath;   // setup.ini as shipped, and the copy the reader reads
    std::string bytes;                  // setup.ini's bytes as shipped
    ScriptLines lines;
    std::vector<Finding> findings;
    int boxLine = 0;
    std::string boxWhere;
    const char *boxAnchor = nullptr;
    std::map<std::string, std::string> installed;   // lower-case destination of [Files] -> its source
    std::vector<std::string> *shipped = nullptr;    // when a package is made: what it must carry
};

Check *current;

void Add(int line, const std::string &where, bool error, const std::string &text, const char *anchor = nullptr)
{
    char reference[64] = "";
    if (anchor != nullptr)
        wsprintfA(reference, kReference, anchor);
    current->findings.push_back({ line, line == 0 ? where : "", error, text + reference });
}

// A file the installation reads or hands to Windows, which a package carries: named relative to
// the product folder. One outside it cannot be carried.
void Ship(const std::string &path, int line, const char *anchor)
{
    std::string folder = std::string(Run.SourceDir) + "\\";
    if (current->shipped == nullptr)
        return;
    if (path.size() > folder.size() && SameText(path.substr(0, folder.size()), folder))
        current->shipped->push_back(path.substr(folder.size()));
    else
        Add(line, "", true, path + " lies outside the product folder, so a package cannot carry it", anchor);
}

// Refusals the installer's checks make about a key other than the one they look at first.
const struct {
    const char *text;
    const char *key;
} kRefusalKeys[] = {
    { "Invalid service type", "ServiceType" },
    { "Invalid service startup", "ServiceStartup" },
};

// The installer's own checks show their refusals in boxes: here each becomes an error where the
// check was looking, or on the key the refusal names.
int TakeBox(UINT, const char *text)
{
    int line = current->boxLine;
    for (const auto &refusal : kRefusalKeys)
        if (StrPrefixCompare(text, refusal.text, lstrlenA(refusal.text)) == 0)
            line = current->lines.MainKeyLine(refusal.key);
    Add(line, current->boxWhere, true, text, current->boxAnchor);
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
    char decorated[kSectionNameSize];
    return DecoratedSection(decorated, section.c_str()) ? decorated : section;
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

// A misspelt section is never read: its entries are not installed, which no author means.
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
        Add(section.second, "", !nearest.empty(), "[" + section.first + "]: unknown section" +
            (nearest.empty() ? "; the installer reads only [Main], [Files] and [Links] and their .NTamd64 twins"
                          : "; did you mean [" + nearest + "]? Nothing in it is installed"), "how-setupini-is-read");
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
        if (!IsMainSection(key.section) || std::any_of(known.begin(), known.end(), [&](const std::string &k) { return SameText(k, key.name); }))
            continue;
        std::string nearest = Suggestion(key.name, known);
        Add(key.line, "", false, key.name + ": unknown key" + (nearest.empty() ? "; the installer ignores it" : "; did you mean " + nearest + "?"),
            "main");
    }
}

void CheckRepeatedKeys()
{
    for (const KeyLine &key : current->lines.repeated)
        Add(key.line, "", false, key.name + " is given again in [" + key.section + "] (first on line " +
            std::to_string(current->lines.Key(key.section, key.name)->line) + "): the first value counts, this one is ignored",
            "how-setupini-is-read");
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

// The code pages of the customers' Windows, for a letter that some of them lack.
const struct {
    UINT page;
    const char *windows;
} kCustomerCodePages[] = {
    { 1250, "Central European" }, { 1251, "Cyrillic" }, { 1252, "Western" }, { 1253, "Greek" }, { 1254, "Turkish" },
    { 1255, "Hebrew" }, { 1256, "Arabic" }, { 1257, "Baltic" }, { 1258, "Vietnamese" }, { 874, "Thai" }, { 932, "Japanese" },
    { 936, "Simplified Chinese" }, { 949, "Korean" }, { 950, "Traditional Chinese" },
};

// The first letter of the line that some customers' code pages lack, and which lack it: "" when
// every one has all its letters.
std::string LackingLetter(const std::wstring &line, std::string *lacking)
{
    for (WCHAR c : line) {
        if (c < 0x80)
            continue;
        std::vector<std::string> windows;
        std::string pages;
        for (const auto &page : kCustomerCodePages) {
            char bytes[8];
            BOOL lost = FALSE;
            if (WideCharToMultiByte(page.page, WC_NO_BEST_FIT_CHARS, &c, 1, bytes, sizeof bytes, NULL, &lost) == 0 || lost) {
                windows.push_back(page.windows);
                pages += std::string(pages.empty() ? "" : ", ") + std::to_string(page.page);
            }
        }
        if (!windows.empty()) {
            char letter[8] = "";
            WideCharToMultiByte(CP_ACP, 0, &c, 1, letter, sizeof letter - 1, NULL, NULL);
            *lacking = "";
            for (size_t i = 0; i < windows.size(); i++)
                *lacking += (i == 0 ? "" : i + 1 == windows.size() ? " and " : ", ") + windows[i];
            *lacking += " Windows (" + pages + ")";
            return letter;
        }
    }
    return "";
}

// The lines of a text saved in UTF-8 or UTF-16, as written.
std::vector<std::wstring> WideLines(const std::string &bytes, TextEncoding encoding)
{
    std::wstring wide;
    if (encoding == kUtf16Text || encoding == kUtf16BigEndianText) {
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            wide += encoding == kUtf16Text ? (WCHAR)((BYTE)bytes[i] | (BYTE)bytes[i + 1] << 8) : (WCHAR)((BYTE)bytes[i] << 8 | (BYTE)bytes[i + 1]);
    } else {
        int skip = encoding == kUtf8BomText ? 3 : 0;
        wide.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, (int)bytes.size() - skip, NULL, 0));
        MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, (int)bytes.size() - skip, &wide[0], (int)wide.size());
    }
    std::vector<std::wstring> lines;
    for (size_t at = 0; at <= wide.size();) {
        size_t end = wide.find(L'\n', at);
        lines.push_back(wide.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at));
        at = end == std::wstring::npos ? wide.size() + 1 : end + 1;
    }
    return lines;
}

// A text in this Windows' own code page reads as other letters on a Windows of another: the line
// of its first letter beyond ASCII, or 0.
int FirstLineBeyondAscii(const std::string &bytes)
{
    auto beyond = std::find_if(bytes.begin(), bytes.end(), [](char c) { return (BYTE)c >= 0x80; });
    return beyond == bytes.end() ? 0 : (int)std::count(bytes.begin(), beyond, '\n') + 1;
}

const char kOwnCodePage[] = " is saved in this Windows' own code page (%u): a Windows of another code page reads its letters "
                            "beyond ASCII as others; save it in UTF-8";

// setup.ini saved in UTF-8 or UTF-16 holds what the author wrote; a letter some customers' code
// pages lack stops the installation on their Windows, before anything is installed.
void CheckScriptEncoding()
{
    char text[kMaxFormattedText];
    TextEncoding encoding = DetectTextEncoding(current->bytes.data(), (DWORD)current->bytes.size());
    if (encoding == kAnsiText) {
        int line = FirstLineBeyondAscii(current->bytes);
        wsprintfA(text, kOwnCodePage, GetACP());
        if (line != 0)
            Add(line, "", false, std::string("setup.ini") + text, "how-setupini-is-read");
        return;
    }
    std::vector<std::wstring> lines = WideLines(current->bytes, encoding);
    for (size_t i = 0; i < lines.size(); i++) {
        std::string lacking, letter = LackingLetter(lines[i], &lacking);
        const KeyLine *key = NULL;
        for (const KeyLine &k : current->lines.keys)
            key = k.line == (int)i + 1 ? &k : key;
        if (!letter.empty() && key != NULL)
            Add(key->line, "", false, key->name + ": \"" + letter + "\" is missing from the code pages of " + lacking +
                ": the installation stops there before anything is installed; use letters every customer's Windows has",
                "how-setupini-is-read");
    }
}

// The license shows a letter the code page lacks as its nearest, or a question mark.
void CheckLicenseEncoding(const std::string &bytes, int line)
{
    char text[kMaxFormattedText];
    TextEncoding encoding = DetectTextEncoding(bytes.data(), (DWORD)bytes.size());
    if (encoding == kAnsiText) {
        wsprintfA(text, kOwnCodePage, GetACP());
        if (FirstLineBeyondAscii(bytes) != 0)
            Add(line, "", false, std::string(Script.LicenseFile) + text, "how-setupini-is-read");
        return;
    }
    for (const std::wstring &licenseLine : WideLines(bytes, encoding)) {
        std::string lacking, letter = LackingLetter(licenseLine, &lacking);
        if (!letter.empty()) {
            Add(line, "", false, std::string(Script.LicenseFile) + ": \"" + letter + "\" is missing from the code pages of " +
                lacking + ": the license shows the nearest letter or a question mark there", "how-setupini-is-read");
            return;
        }
    }
}

// [Main] as the installer reads it, the same code: the plain section, then its twin where the
// installer reads one, each key on its line.
void ReadMain()
{
    char decorated[kSectionNameSize];
    bool twin = DecoratedSection(decorated, "Main");
    for (const std::string &section : { std::string("Main"), std::string(twin ? decorated : "") }) {
        if (section.empty())
            continue;
        for (const MainKey *row = kMainKeyTable; row->name != NULL; row++) {
            LookAt(current->lines.KeyOrSectionLine(section, row->name), "", "main");
            if (!ReadMainKey(current->readPath.c_str(), section.c_str(), row) || !twin)
                continue;
            // A value empty in one of the twins is no duplicate: the other one counts.
            char value[kMainValueSize], other[kMainValueSize];
            std::string otherSection = section == "Main" ? decorated : "Main";
            if (ReadProfileValue(current->readPath.c_str(), section.c_str(), row->name, value, kMainValueSize) > 0 &&
                ReadProfileValue(current->readPath.c_str(), otherSection.c_str(), row->name, other, kMainValueSize) == 0)
                Add(current->lines.KeyOrSectionLine(otherSection, row->name), "", false, std::string(row->name) + " is also in [" +
                    otherSection + "], empty: the value in [" + section + "] counts", "main");
        }
    }
    LookAt(current->lines.SectionLine("Main"), "[Main]", "main");
    for (const MainKey *row = kMainKeyTable; row->name != NULL; row++)
        CheckRequiredKey(row);
}

void CheckRegisterUninstaller()
{
    if (Script.RegisterUninstaller != NULL && lstrcmpA(Script.RegisterUninstaller, "1") != 0)
        Add(current->lines.MainKeyLine("RegisterUninstaller"), "", false,
            std::string("RegisterUninstaller is \"") + Script.RegisterUninstaller + "\": only 1 registers the uninstaller, "
            "anything else registers nothing", "main");
}

bool IsVariableName(const std::string &name)
{
    return !name.empty() && name.size() <= 50 &&
           std::all_of(name.begin(), name.end(), [](char c) { return IsCharAlphaNumericA(c) || c == '_'; });
}

// What a %Name% that is not one of the installer's own becomes, or "" when it is fine.
std::string VariableProblem(const std::string &name, const std::string &key, bool inMain)
{
    for (const Variable *variable = kVariableTable; variable->name != NULL; variable++) {
        if (name == variable->name)
            return inMain && name == "InstallDir" && !SameText(key, "ServiceImage")
                       ? "%InstallDir% is not known while [Main] is read: it expands to nothing" : "";
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
        for (size_t open = key.value.find('%'); open != std::string::npos; open = key.value.find('%', open + 1)) {
            size_t close = key.value.find('%', open + 1);
            if (close == std::string::npos)
                break;
            std::string name = key.value.substr(open + 1, close - open - 1);
            if (!IsVariableName(name))
                continue;
            std::string problem = VariableProblem(name, key.name, IsMainSection(key.section));
            if (!problem.empty())
                Add(key.line, "", false, problem, "variables");
            open = close;
        }
    }
}

// The installer's own check, on the line of the first device key, with what goes together.
void CheckDevices()
{
    static const char *const kDeviceKeys[] = { "DeviceName", "DeviceHardwareId", "WdmDriverInfFile", "MmeDriverModule", "MmeDriverCategories" };
    std::string present;
    int line = 0;
    for (const char *key : kDeviceKeys) {
        const MainKey *row = kMainKeyTable;
        while (lstrcmpA(row->name, key) != 0)
            row++;
        if (*row->value == NULL || (*row->value)[0] == '\0')
            continue;
        present += (present.empty() ? "" : ", ") + std::string(key);
        line = line != 0 ? line : current->lines.MainKeyLine(key);
    }
    LookAt(line, "[Main]", "main");
    size_t before = current->findings.size();
    CheckDeviceKeys();
    if (current->findings.size() > before)
        current->findings.back().text.insert(current->findings.back().text.rfind(" ("),
            ": DeviceName, DeviceHardwareId and WdmDriverInfFile go together (a Plug and Play device), or DeviceName, "
            "MmeDriverModule and MmeDriverCategories (a legacy driver, NT systems only); present: " + present);
}

bool IsKernelService(DWORD type)
{
    return type == SERVICE_KERNEL_DRIVER || type == SERVICE_FILE_SYSTEM_DRIVER;
}

// The installer's checks of the four keys, then what Windows takes of the numbers.
void CheckServiceNumbers()
{
    LookAt(current->lines.MainKeyLine("ServiceName"), "[Main]", "a-service");
    if (!CheckServiceKeys() || Script.ServiceName == NULL)
        return;
    DWORD type = ParseNumber(Script.ServiceType, NULL, 10), startup = ParseNumber(Script.ServiceStartup, NULL, 10);
    int line = current->lines.MainKeyLine("ServiceStartup");
    if (startup > SERVICE_DISABLED)
        Add(line, "", true, "ServiceStartup " + std::to_string(startup) + ": Windows takes 0 to 4 (2 starts with Windows, 3 on "
            "demand, 4 disabled); the service cannot be created and the installation is undone", "a-service");
    else if (startup <= SERVICE_SYSTEM_START && !IsKernelService(type))
        Add(line, "", true, "ServiceStartup " + std::to_string(startup) + ": boot (0) and system (1) start are for kernel drivers "
            "only; the service cannot be created and the installation is undone", "a-service");
}

// A standard user who elevates with an administrator's password installs as that administrator.
void CheckStartMenuFolder()
{
    if (Script.StartMenuFolder != NULL && SameText(Script.StartMenuFolder, SystemFolders.LocalProgramsFolder) && NeedsAdminRights())
        Add(current->lines.MainKeyLine("StartMenuFolder"), "", false, "StartMenuFolder is the installing user's own Start Menu, "
            "but the product needs administrator rights: a standard user who elevates with another account's password gets the "
            "shortcuts in that account's Start Menu; use %CommonProgramsFolder%", "main");
}

// A file or shortcut name no file may have; a file's may hold a subfolder.
bool HoldsForbiddenCharacter(const char *name, bool shortcut, char *found)
{
    for (const char *c = name; *c != '\0'; c = NextChar(c)) {
        if (StrFindChar(shortcut ? "\\/:*?\"<>|" : "/:*?\"<>|", *c) != NULL && *c != '\0') {
            *found = *c;
            return true;
        }
    }
    return false;
}

void CheckName(const char *name, bool shortcut, int line, const char *anchor)
{
    char forbidden = 0;
    if (HoldsForbiddenCharacter(name, shortcut, &forbidden))
        Add(line, "", true, std::string(name) + ": a " + (shortcut ? "shortcut's" : "file's") + " name cannot hold '" + forbidden +
            "' (nor " + (shortcut ? "\\ / " : "/ ") + ": * ? \" < > |); the installation fails there", anchor);
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

// Each [Files] entry as the installation copies it: its name one a file may have, its source
// there, and no destination twice.
void CheckFiles()
{
    DWORD plain = PlainEntries("Files", Script.FileCount);
    for (DWORD i = 0; i < Script.FileCount; i++) {
        const ScriptEntry *entry = &Script.FileList[i];
        int line = EntryLine(entry, i, plain, "Files");
        char source[MAX_PATH], destination[MAX_PATH];
        CheckName(entry->Name, false, line, "files");
        LookAt(line, "", "files");
        if (!ComposeEntryPaths(entry, source, destination))
            continue;
        if (!FileExists(source))
            Add(line, "", true, SystemMessage(kCannotOpenSource, source, GetLastError()), "files");
        Ship(source, line, "files");
        if (!current->installed.insert({ Lower(destination), source }).second)
            Add(line, "", true, Format(kAlreadyExists, "File", destination) + ": two entries install it", "files");
    }
}

// The file a path names once the product is installed: the source that [Files] copies there, or
// the file that is there already; "" when there is none.
std::string FileThere(const std::string &path)
{
    auto found = current->installed.find(Lower(path));
    if (found != current->installed.end())
        return found->second;
    return FileExists(path.c_str()) ? path : "";
}

// A program named with its arguments: the longest blank-ended beginning that is a file there.
std::string ProgramThere(const std::string &command)
{
    for (size_t end = command.size(); end != std::string::npos && end > 0; end = command.rfind(' ', end - 1)) {
        std::string file = FileThere(command.substr(0, end));
        if (!file.empty())
            return file;
    }
    return "";
}

void CheckLinks()
{
    std::set<std::string> names;
    DWORD plain = PlainEntries("Links", Script.LinkCount);
    for (DWORD i = 0; i < Script.LinkCount; i++) {
        const ScriptEntry *entry = &Script.LinkList[i];
        int line = EntryLine(entry, i, plain, "Links");
        char target[MAX_PATH];
        CheckName(entry->Name, true, line, "links");
        LookAt(line, "", "links");
        if (!ExpandVariables(target, entry->Path, "Cannot set shortcut object path \"%s\" (%s)"))
            continue;
        if (ProgramThere(target).empty())
            Add(line, "", false, std::string(entry->Name) + ": no [Files] entry installs its target " + target, "links");
        if (!names.insert(Lower(entry->Name)).second)
            Add(line, "", false, std::string(entry->Name) + ": a second shortcut of this name replaces the first", "links");
    }
}

// The service's program must be there once the files are copied, and be what its type says:
// a program for a service of its own process, a 64-bit kernel driver for a kernel service.
void CheckService()
{
    char image[MAX_PATH];
    if (Script.ServiceImage == NULL || Script.ServiceType == NULL || !ExpandVariables(image, Script.ServiceImage))
        return;
    int line = current->lines.MainKeyLine("ServiceImage");
    std::string program = ProgramThere(image);
    if (program.empty()) {
        Add(line, "", true, std::string("ServiceImage: no [Files] entry installs ") + image + ": the service cannot start and the "
            "installation is undone", "a-service");
        return;
    }
    ProgramFile file;
    ReadProgramFile(program, &file);
    DWORD type = ParseNumber(Script.ServiceType, NULL, 10);
    std::string name = program.substr(program.find_last_of('\\') + 1);
    if (IsKernelService(type) && !(file.image && file.native && file.is64))
        Add(current->lines.MainKeyLine("ServiceType"), "", true, "ServiceType " + std::to_string(type) + " makes a kernel driver, but " +
            name + " is " + ProgramKind(file) + ": the service cannot start and the installation is undone", "a-service");
    else if (!IsKernelService(type) && (!file.image || file.native || file.isDll))
        Add(file.native ? current->lines.MainKeyLine("ServiceType") : line, "", true, name + " is " + ProgramKind(file) +
            (file.native ? ": a kernel driver's service takes ServiceType 1" : ": a service's ServiceImage is a program (.exe)") +
            "; the service cannot start and the installation is undone", "a-service");
}

// The module must reach the system folder, and be a 64-bit DLL with the driver entry point the
// multimedia system calls.
void CheckLegacyDriver()
{
    if (Script.MmeDriverModule == NULL)
        return;
    int line = current->lines.MainKeyLine("MmeDriverModule");
    if (Script.MmeDriverCategories != NULL) {
        LookAt(current->lines.MainKeyLine("MmeDriverCategories"), "", "a-legacy-driver");
        ParseMmeCategories(Script.MmeDriverCategories);
    }
    char module[MAX_PATH];
    if (!JoinPath(module, SystemFolders.WindowsDir, (std::string("system32\\") + Script.MmeDriverModule).c_str()))
        return;
    std::string source = current->installed.count(Lower(module)) ? current->installed[Lower(module)] : "";
    if (source.empty()) {
        Add(line, "", false, std::string("MmeDriverModule: no [Files] entry copies ") + Script.MmeDriverModule +
            " into the system folder (%WindowsDir%\\system32), where Windows looks for it", "a-legacy-driver");
        return;
    }
    ProgramFile file;
    ReadProgramFile(source, &file);
    std::string problem = !file.image || !file.isDll ? "is " + ProgramKind(file) + ", not a driver module (a DLL)"
                          : !file.is64           ? "is a 32-bit DLL, which the 64-bit system cannot load"
                          : !file.exports.count("DriverProc") ? "exports no DriverProc, the entry point the multimedia system calls"
                                                               : "";
    if (!problem.empty())
        Add(line, "", true, std::string(Script.MmeDriverModule) + " " + problem + ": it cannot be installed, and the installation "
            "is undone", "a-legacy-driver");
}

// The INF as 64-bit Windows reads it for the product's hardware id.
void CheckDriverPackage()
{
    if (Script.WdmDriverInfFile == NULL)
        return;
    char inf[MAX_PATH];
    int line = current->lines.MainKeyLine("WdmDriverInfFile");
    LookAt(line, "", "a-plug-and-play-device");
    if (!FindSourceInf(inf))
        return;
    InfPackage package = ReadInfPackage(inf);
    std::string name = Script.WdmDriverInfFile, folder = std::string(inf).substr(0, std::string(inf).find_last_of('\\'));
    const char *anchor = "a-plug-and-play-device";
    if (package.className.empty() || package.classGuid.empty())
        Add(line, "", true, name + " names no Class and ClassGuid in [Version]: Windows cannot tell what device it is for", anchor);
    if (package.driverVer.empty())
        Add(line, "", true, name + " names no DriverVer in [Version], which 64-bit Windows requires of a driver package", anchor);
    if (package.catalog.empty())
        Add(line, "", true, name + " names no CatalogFile: 64-bit Windows refuses a driver package without a signed catalog", anchor);
    else if (!FileExists((folder + "\\" + package.catalog).c_str()))
        Add(line, "", true, name + " names the catalog " + package.catalog + ", which the product does not ship: 64-bit Windows "
            "refuses the package", anchor);
    for (const std::string &file : package.sourceFiles)
        if (!FileExists((folder + "\\" + file).c_str()))
            Add(line, "", true, name + " brings " + file + " ([SourceDisksFiles]), which the product does not ship: Windows "
                "refuses the package", anchor);
    Ship(inf, line, anchor);
    for (const std::string &file : package.sourceFiles)
        Ship(folder + "\\" + file, line, anchor);
    if (!package.catalog.empty())
        Ship(folder + "\\" + package.catalog, line, anchor);
    if (Script.DeviceHardwareId == NULL)
        return;
    int idLine = current->lines.MainKeyLine("DeviceHardwareId");
    if (!package.has64BitModels)
        Add(idLine, "", true, name + "'s [Manufacturer] names no models section for NTamd64: 64-bit Windows finds no driver in it",
            anchor);
    else if (std::none_of(package.hardwareIds.begin(), package.hardwareIds.end(),
                          [](const std::string &id) { return SameText(id, Script.DeviceHardwareId); }))
        Add(idLine, "", true, std::string("DeviceHardwareId ") + Script.DeviceHardwareId + ": " + name + " installs no driver for "
            "it (its NTamd64 models name " + (package.hardwareIds.empty() ? std::string("none") : package.hardwareIds[0]) +
            (package.hardwareIds.size() > 1 ? ", ..." : "") + ")", anchor);
}

void CheckNamedFiles()
{
    if (Script.LicenseFile != NULL) {
        char path[MAX_PATH];
        DWORD size = 0;
        LookAt(current->lines.MainKeyLine("LicenseFile"), "", "main");
        char *license = JoinPath(path, Run.SourceDir, Script.LicenseFile, kCannotOpenFile) ? LoadFile(path, Script.LicenseFile, &size) : NULL;
        if (license != NULL)
            CheckLicenseEncoding(std::string(license, size), current->lines.MainKeyLine("LicenseFile"));
        MemFree(license);
        Ship(path, current->lines.MainKeyLine("LicenseFile"), "main");
    }
    char help[MAX_PATH];
    if (Script.HelpFile != NULL && (!JoinPath(help, Run.SourceDir, Script.HelpFile) || !FileExists(help)))
        Add(current->lines.MainKeyLine("HelpFile"), "", false,
            std::string("HelpFile: ") + Script.HelpFile + " is not in the product folder, so the Help button stays hidden", "main");
    else if (Script.HelpFile != NULL)
        Ship(help, current->lines.MainKeyLine("HelpFile"), "main");
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

// setup.ini read once, converted as the installer converts it, into a copy of the checker's own
// that the installer's reader reads; false when it cannot be read.
bool ReadScript(const std::string &folder)
{
    char path[MAX_PATH];
    DWORD size = 0, length = 0;
    LookAt(0, "", "what-to-ship");
    if (!JoinPath(path, folder.c_str(), "setup.ini", kCannotOpenFile))
        return false;
    current->sourcePath = path;
    char *bytes = FileExists(path) ? LoadFile(path, path, &size) : NULL;
    if (bytes == NULL) {
        Add(0, "", true, SystemMessage(kCannotOpenFile, path, GetLastError()), "what-to-ship");
        return false;
    }
    current->bytes.assign(bytes, size);
    MemFree(bytes);
    LookAt(0, "", "how-setupini-is-read");
    char *text = ConvertScriptText(current->bytes.data(), size, path, &length);
    if (text == NULL)
        return false;
    current->lines = ReadLines(text);
    current->readPath = TempFolder() + "\\check-script-" + std::to_string(GetCurrentProcessId()) + ".ini";
    bool written = WriteTextFile(current->readPath, std::string(text, length));
    MemFree(text);
    return written;
}

void CheckScript(const std::string &folder)
{
    StartAsTheInstaller(folder);
    if (!ReadScript(folder))
        return;
    CheckScriptEncoding();
    CheckSectionNames();
    CheckMainKeyNames();
    CheckRepeatedKeys();
    CheckInlineComments();
    CheckVariables();
    ReadMain();
    CheckRegisterUninstaller();
    CheckDevices();
    CheckServiceNumbers();
    CheckStartMenuFolder();
    if (Script.DefaultInstallDir != NULL)
        Run.InstallDir = StrDup(Script.DefaultInstallDir);
    LookAt(LineOfLimit("Files"), "[Files]", "files");
    ReadFilesSection(current->readPath.c_str());
    LookAt(LineOfLimit("Links"), "[Links]", "links");
    ReadLinksSection(current->readPath.c_str());
    CheckNamedFiles();
    if (Run.InstallDir != NULL)
        current->installed[Lower(std::string(Run.InstallDir) + "\\setup.exe")] = "";   // the installer itself
    CheckFiles();
    CheckLinks();
    CheckService();
    CheckLegacyDriver();
    CheckDriverPackage();
}

}  // namespace

std::vector<Finding> CheckProduct(const std::string &folder, std::vector<std::string> *shipped)
{
    Check check;
    check.shipped = shipped;
    if (shipped != nullptr)
        shipped->assign(1, "setup.ini");
    current = &check;
    SetBoxSink(TakeBox);
    CheckScript(folder);
    SetBoxSink(NULL);
    if (!check.readPath.empty())
        DeleteFileA(check.readPath.c_str());
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
