#include "shell/cmdline.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/memory.h"
#include "support/text.h"

struct CommandLineParse {
    const char *position;   // just after the switch letter; each handler moves it on
    char folder[MAX_PATH];
};

typedef bool (*SwitchHandler)(CommandLineParse *parse);

struct CommandSwitch {
    char letter;
    SwitchHandler handler;
};

static bool TakeCurrentDirSwitch(CommandLineParse *)
{
    Run.SourceFromCurrentDir = true;
    return true;
}

static bool TakeUninstallSwitch(CommandLineParse *)
{
    Run.InstallMode = false;
    return true;
}

static bool TakeSilentSwitch(CommandLineParse *)
{
    Run.Silent = true;
    return true;
}

static bool TakePidSwitch(CommandLineParse *parse)
{
    Run.PrimaryPid = ParseNumber(SkipBlanks(parse->position), &parse->position, 16);
    return true;
}

// A -d at the end of the line is taken as an empty folder. A folder without its closing
// quote, or one too long for a path, rejects the line: nothing sensible could follow it.
static bool TakeFolderSwitch(CommandLineParse *parse)
{
    const char *argument = SkipBlanks(parse->position);
    if (*argument == '\0') {
        parse->folder[0] = '\0';
        parse->position = argument;
        return true;
    }
    const char *next = GetToken(argument, parse->folder, MAX_PATH);
    if (next == NULL) {
        ErrorBox("Error in command line: \"%s\"", argument);
        return false;
    }
    parse->position = next;
    return true;
}

static const CommandSwitch kCommandSwitches[] = {
    { 'c', TakeCurrentDirSwitch },
    { 'd', TakeFolderSwitch },
    { 'p', TakePidSwitch },
    { 's', TakeSilentSwitch },
    { 'u', TakeUninstallSwitch },
    { '\0', NULL },
};

static const CommandSwitch *FindSwitch(char letter)
{
    for (const CommandSwitch *entry = kCommandSwitches; entry->handler != NULL; entry++) {
        if (entry->letter == letter)
            return entry;
    }
    return NULL;
}

// A silent installation may name its folder with -d.
static bool SwitchesMatch(const char *folder)
{
    bool haveFolder = folder[0] != '\0';
    bool havePid = Run.PrimaryPid != 0;
    if (Run.InstallMode)
        return !havePid && (!haveFolder || Run.Silent);
    return !Run.SourceFromCurrentDir && havePid == haveFolder;
}

// Whether the path, made full and long, is this program's own file (ownPath, long form).
static bool IsOwnFile(const char *path, const char *ownPath)
{
    char fullPath[MAX_PATH];
    char longPath[MAX_PATH];
    DWORD length = GetFullPathNameA(path, MAX_PATH, fullPath, NULL);
    if (length == 0 || length >= MAX_PATH)
        return false;
    length = GetLongPathNameA(fullPath, longPath, MAX_PATH);
    return length != 0 && length < MAX_PATH && lstrcmpiA(longPath, ownPath) == 0;
}

// Whether the first `length` characters of the line name this program: its path long or short,
// with or without ".exe", absolute or relative to the current folder.
static bool NamesOwnProgram(const char *line, int length, const char *ownPath)
{
    char candidate[MAX_PATH + 4];
    if (length <= 0 || length >= MAX_PATH)
        return false;
    lstrcpynA(candidate, line, length + 1);
    if (IsOwnFile(candidate, ownPath))
        return true;
    lstrcatA(candidate, ".exe");
    return IsOwnFile(candidate, ownPath);
}

// Windows starts an unquoted line that holds blanks (an UninstallString such as
// C:\Program Files\Product\setup.exe -u, or a scheduled task's C:\Program Files\Product\setup.exe
// alone) by trying its blank-ended beginnings, and the whole line, until one names a program, and
// hands the line over as it stands: the name ends where the part that names this program ends.
// Any other unquoted name ends at the first blank.
static const char *EndOfUnquotedName(const char *commandLine)
{
    const char *firstBlank = StrFindChar(commandLine, ' ');
    char modulePath[MAX_PATH];
    char ownPath[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, modulePath, MAX_PATH);
    if (firstBlank == NULL || length == 0 || length >= MAX_PATH)
        return firstBlank;
    length = GetLongPathNameA(modulePath, ownPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return firstBlank;
    for (const char *blank = firstBlank; blank != NULL; blank = StrFindChar(blank + 1, ' ')) {
        if (NamesOwnProgram(commandLine, (int)(blank - commandLine), ownPath))
            return blank;
    }
    int whole = lstrlenA(commandLine);
    return NamesOwnProgram(commandLine, whole, ownPath) ? commandLine + whole : firstBlank;
}

const char *StripProgramName(const char *commandLine)
{
    const char *end;
    if (commandLine[0] == '"')
        end = StrFindChar(commandLine + 1, '"');
    else
        end = EndOfUnquotedName(commandLine);
    if (end == NULL || *end == '\0')
        return commandLine + lstrlenA(commandLine);
    return SkipBlanks(end + 1);
}

// A "-s" of its own in text that cannot be taken apart into tokens (a quote left open).
static bool HoldsLooseSilentSwitch(const char *text)
{
    for (const char *at = StrFindStr(text, "-s"); at != NULL; at = StrFindStr(at + 2, "-s")) {
        bool starts = at == text || at[-1] == ' ' || at[-1] == '\t';
        if (starts && (at[2] == '\0' || at[2] == ' ' || at[2] == '\t'))
            return true;
    }
    return false;
}

// The switches as tokens: "-s" alone, a -d's folder passed over whole (a quoted "-s" in it is none).
// A line that cannot be taken apart is searched as it stands: a silent run must stay silent
// however its line is broken.
bool HasSilentSwitch(const char *tail)
{
    char token[MAX_PATH];
    bool folderFollows = false;
    const char *position = tail;
    for (const char *next = GetToken(position, token, MAX_PATH); next != NULL; next = GetToken(position, token, MAX_PATH)) {
        if (!folderFollows && lstrcmpA(token, "-s") == 0)
            return true;
        folderFollows = !folderFollows && lstrcmpA(token, "-d") == 0;
        position = next;
    }
    return *SkipBlanks(position) != '\0' && HoldsLooseSilentSwitch(position);
}

bool ParseCommandLine()
{
    CommandLineParse parse;
    parse.folder[0] = '\0';
    Run.InstallMode = true;
    const char *position = Run.CommandLineTail;
    while (*position != '\0') {
        position = SkipBlanks(position);
        if (*position == '-') {
            char letter = position[1];
            parse.position = letter != '\0' ? position + 2 : position + 1;
            const CommandSwitch *entry = FindSwitch(letter);
            if (entry == NULL) {
                ErrorBox("Invalid command line switch \"%c\"", letter);
                return false;
            }
            if (!entry->handler(&parse))
                return false;
            position = parse.position;
        } else if (*position != '\0') {
            ErrorBox("Error in command line: \"%s\"", position);
            return false;
        }
    }
    if (!SwitchesMatch(parse.folder)) {
        ErrorBox("Command line switches mismatch");
        return false;
    }
    if (parse.folder[0] != '\0')
        Run.InstallDir = StrDup(parse.folder);
    return true;
}
