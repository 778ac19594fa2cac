// Reading setup.ini into the SetupScript.
#pragma once
#include <windows.h>
#include "script/setup_script.h"

struct MainKey {
    const char *name;
    char **value;
    bool required;
    bool expandedWhenUsed;   // may name %InstallDir%, which is known only after the options dialog
};

extern const MainKey kMainKeyTable[];
// The reader's refusals of [Main], for those who check a script without reading it this way.
extern const char kDuplicateKeyMessage[];   // key name
extern const char kMissingKeyMessage[];     // key name
extern const char kKeyTooLongMessage[];     // key name, error text
extern const char kLackingLetterMessage[];  // line, file, key name, code page, error text
const DWORD kMainValueSize = 256;           // a [Main] value and its terminator

// Reads SourceDir\setup.ini once, in the ANSI code page (converted from UTF-8 or UTF-16), into a
// copy in the run's own folder, and [Main], [Files] and [Links] with their ".NTamd64" twins from it.
bool ReadSetupScript();
// setup.ini's bytes in the ANSI code page (a heap block with a terminator: MemFree it); null after
// a box naming the line and key of a letter the code page lacks. name: the file, for the box.
char *ConvertScriptText(const char *bytes, DWORD size, const char *name, DWORD *length);
// -1 and an empty buffer when the key is absent; else the value's length.
int ReadProfileValue(const char *scriptPath, const char *section, const char *key, char *buffer, DWORD size);
bool ReadMainSection(const char *scriptPath);
bool ReadMainKeys(const char *scriptPath, const char *section);
// One key of [Main] or its twin: read, refused after a box when it is a duplicate or too long
// once expanded, else stored expanded (but for the keys expanded when used).
bool ReadMainKey(const char *scriptPath, const char *section, const MainKey *row);
// A required key that is absent or empty after both sections: false after a box.
bool CheckRequiredKey(const MainKey *row);
// The twin of a section (name: kSectionNameSize bytes); false where there is none to read.
bool DecoratedSection(char *name, const char *base);
const UINT kSectionNameSize = 64;
// Appends at most `allowed` entries; the number read, or -1 after the limit box.
int ReadEntrySection(const char *scriptPath, const char *section, ScriptEntry *list, DWORD *count, UINT allowed);
bool ReadFilesSection(const char *scriptPath);
bool ReadLinksSection(const char *scriptPath);
bool AddScriptEntry(ScriptEntry *list, DWORD *count, const char *name, const char *path, const char *extra);
// ".NTamd64" on the 64-bit processors this program runs on, else "".
const char *SectionDecoration();
