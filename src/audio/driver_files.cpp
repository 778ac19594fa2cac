#include "audio/driver_files.h"
#include "script/variables.h"
#include "support/memory.h"
#include "support/msgbox.h"
#include "support/text.h"
#include "support/tracelog.h"
#include "system/binding.h"
#include "system/file_ops.h"
#include "system/work_folder.h"

const DWORD kSectionSize = 32768;
static const char *const kDiskSections[] = { "SourceDisksNames.amd64", "SourceDisksNames" };
static const char *const kFileSections[] = { "SourceDisksFiles", "SourceDisksFiles.amd64" };

// The field'th comma-separated field of an INF value, without blanks, quotes or a comment.
static void InfField(const char *value, int field, char *out, UINT size)
{
    const char *at = value;
    for (int i = 0; i < field && at != NULL; i++) {
        at = StrFindChar(at, ',');
        at = at != NULL ? at + 1 : NULL;
    }
    out[0] = '\0';
    if (at == NULL)
        return;
    at = SkipBlanks(at);
    if (*at == '"')
        at++;
    UINT length = 0;
    while (at[length] != '\0' && at[length] != ',' && at[length] != ';' && at[length] != '"')
        length++;
    StrCopyCut(out, at, length + 1 < size ? length + 1 : size);
    while (length > 0 && (out[length - 1] == ' ' || out[length - 1] == '\t'))
        out[--length] = '\0';
}

// The path of the disk a file lies on, relative to the INF's folder.
static void DiskPath(const char *inf, const char *disk, char *path)
{
    char value[MAX_PATH];
    path[0] = '\0';
    for (const char *section : kDiskSections) {
        if (GetPrivateProfileStringA(section, disk, "", value, MAX_PATH, inf) > 0) {
            InfField(value, 3, path, MAX_PATH);
            return;
        }
    }
}

static bool Listed(const char *list, const char *end, const char *name)
{
    for (const char *at = list; at < end; at += lstrlenA(at) + 1) {
        if (lstrcmpiA(at, name) == 0)
            return true;
    }
    return false;
}

char *ListDriverFiles(const char *inf)
{
    char *section = (char *)MemAlloc(kSectionSize);
    char *list = (char *)MemAlloc(kSectionSize);
    char *end = list;
    for (const char *name : kFileSections) {
        GetPrivateProfileSectionA(name, section, kSectionSize, inf);
        for (const char *line = section; *line != '\0'; line += lstrlenA(line) + 1) {
            char file[MAX_PATH], disk[32], folder[MAX_PATH], sub[MAX_PATH], path[MAX_PATH * 2];
            const char *equals = StrFindChar(line, '=');
            if (*line == ';' || equals == NULL)
                continue;
            StrCopyCut(path, line, equals - line + 1 < MAX_PATH ? (UINT)(equals - line + 1) : MAX_PATH);
            InfField(path, 0, file, MAX_PATH);
            InfField(equals + 1, 0, disk, sizeof disk);
            InfField(equals + 1, 1, sub, MAX_PATH);
            DiskPath(inf, disk, folder);
            if (lstrlenA(folder) + lstrlenA(sub) + lstrlenA(file) + 3 > (int)sizeof path)
                continue;
            wsprintfA(path, "%s\\%s\\%s", folder, sub, file);
            // Empty parts leave doubled or leading backslashes: each becomes one, none in front.
            // Taken by characters: a double-byte letter may end in the backslash's byte.
            char *out = path;
            bool separated = true;
            for (const char *in = path; *in != '\0';) {
                const char *next = NextChar(in);
                bool separator = *in == '\\' && next == in + 1;
                if (!separator || !separated) {
                    while (in < next)
                        *out++ = *in++;
                } else {
                    in = next;
                }
                separated = separator;
            }
            *out = '\0';
            if (path[0] != '\0' && !Listed(list, end, path) && end + lstrlenA(path) + 2 < list + kSectionSize) {
                lstrcpyA(end, path);
                end += lstrlenA(path) + 1;
            }
        }
    }
    *end = '\0';
    MemFree(section);
    return list;
}

bool DriverCatalog(const char *inf, char *name)
{
    return GetPrivateProfileStringA("Version", "CatalogFile.NTamd64", "", name, MAX_PATH, inf) > 0 ||
           GetPrivateProfileStringA("Version", "CatalogFile", "", name, MAX_PATH, inf) > 0;
}

// One file of the package, relative to the INF's folder, into the same place below the work
// folder, checked as it is copied.
static bool CopyChecked(const char *fromFolder, const char *toFolder, const char *name)
{
    char source[MAX_PATH], target[MAX_PATH];
    if (!JoinPath(source, fromFolder, name, "Cannot open \"%s\" (%s)") || !JoinPath(target, toFolder, name, "Cannot create \"%s\" (%s)"))
        return false;
    for (char *c = target + lstrlenA(toFolder) + 1; *c != '\0'; c = (char *)NextChar(c)) {
        if (*c == '\\') {   // the file's subfolders
            *c = '\0';
            CreateDirectoryA(target, NULL);
            *c = '\\';
        }
    }
    return CopyBoundFile(source, target, false);
}

// The INF is copied first and the package's files are read from that copy.
bool TakeCheckedDriverPackage(char *inf)
{
    char folder[MAX_PATH], catalog[MAX_PATH], copied[MAX_PATH];
    if (!IsBound())
        return true;
    const char *work = WorkFolder();
    if (work == NULL)
        return false;
    DirOfPath(folder, inf);
    const char *name = inf + lstrlenA(folder) + 1;
    if (!CopyChecked(folder, work, name) || !JoinPath(copied, work, name))
        return false;
    char *files = ListDriverFiles(copied);
    bool ok = true;
    for (const char *file = files; ok && *file != '\0'; file += lstrlenA(file) + 1)
        ok = CopyChecked(folder, work, file);
    if (ok && DriverCatalog(copied, catalog))
        ok = CopyChecked(folder, work, catalog);
    MemFree(files);
    if (ok) {
        LogLine(kLogAction, "The driver package is installed from its checked copy \"%s\"", copied);
        lstrcpyA(inf, copied);
    }
    return ok;
}
