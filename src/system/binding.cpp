#include "system/binding.h"
#include "support/encoding.h"
#include "support/errortext.h"
#include "support/msgbox.h"
#include "support/runstate.h"
#include "support/text.h"
#include "support/tracelog.h"
#include "system/file_hash.h"
#include "system/file_ops.h"

const UINT kDigestText = kDigestSize * 2;

// The binding's lines in the ANSI code page, read once. A letter the code page lacks becomes a
// question mark, which no file name holds: only that line matches no file (and the script that
// names such a file is refused when it is read).
static const char *BindingText()
{
    static bool read;
    static char *text;
    if (!read) {
        read = true;
        HRSRC found = FindResourceA(NULL, "BINDING", (LPCSTR)RT_RCDATA);
        HGLOBAL block = found != NULL ? LoadResource(NULL, found) : NULL;
        const char *bytes = block != NULL ? (const char *)LockResource(block) : NULL;
        DWORD badLine = 0;
        if (bytes != NULL)
            text = TextToAnsi(bytes, SizeofResource(NULL, found), false, NULL, &badLine);
    }
    return text;
}

bool IsBound()
{
    return FindResourceA(NULL, "BINDING", (LPCSTR)RT_RCDATA) != NULL;
}

static void DigestText(char *text, const BYTE *digest)
{
    for (UINT i = 0; i < kDigestSize; i++)
        wsprintfA(text + 2 * i, "%02x", digest[i]);
}

// Whether the name, relative to the product folder, is the file at path.
static bool NamesFile(const char *name, const char *path)
{
    char named[MAX_PATH];
    int folder = lstrlenA(Run.SourceDir);
    if (folder + 1 + lstrlenA(name) >= MAX_PATH)
        return false;
    wsprintfA(named, EndsWithChar(Run.SourceDir, '\\') ? "%s%s" : "%s\\%s", Run.SourceDir, name);
    return lstrcmpiA(named, path) == 0;
}

static bool IsBoundDigest(const char *path, const BYTE *digest)
{
    char wanted[kDigestText + 1];
    char line[MAX_PATH + kDigestText + 2];
    bool bound = false;
    DigestText(wanted, digest);
    for (const char *at = BindingText(); at != NULL && *at != '\0' && !bound;) {
        const char *end = StrFindChar(at, '\n');
        UINT length = end != NULL ? (UINT)(end - at) : (UINT)lstrlenA(at);
        StrCopyCut(line, at, length < sizeof line ? length + 1 : sizeof line);
        if (EndsWithChar(line, '\r'))
            line[lstrlenA(line) - 1] = '\0';
        bound = lstrlenA(line) > (int)kDigestText + 1 && NamesFile(line + kDigestText + 1, path) &&
                StrPrefixCompare(line, wanted, kDigestText) == 0;
        at += end != NULL ? length + 1 : length;
    }
    LogLine(kLogValue, "SHA-256 of \"%s\": %s, %s", path, wanted, bound ? "as bound" : "not as bound");
    return bound;
}

static bool NotTheBoundFile(const char *path)
{
    ErrorBox("\"%s\" is not the file this setup program was made for: it was changed or replaced after the product was "
             "packaged. Download the product again from its author.", path);
    return false;
}

bool CheckBoundDigest(const char *path, const BYTE *digest)
{
    return !IsBound() || IsBoundDigest(path, digest) || NotTheBoundFile(path);
}

bool CheckBoundBytes(const char *path, const void *bytes, DWORD size)
{
    BYTE digest[kDigestSize];
    if (!IsBound())
        return true;
    if (HashBytes(bytes, size, digest))
        return CheckBoundDigest(path, digest);
    ErrorBox(kCannotHashFile, path, LastErrorText());
    return false;
}

bool CopyBoundFile(const char *source, const char *destination, bool failIfExists, WorkMeter *meter)
{
    BYTE digest[kDigestSize];
    bool checked = IsBound() && lstrcmpiA(source, Run.ExeModulePath) != 0;
    if (!CopyOneFile(source, destination, failIfExists, meter, checked ? digest : NULL))
        return false;
    if (!checked || CheckBoundDigest(source, digest))
        return true;
    if (DeleteOneFile(destination))
        LogLine(kLogAction, "Deleted \"%s\"", destination);
    return false;
}

void ExtractFilesFirst(const char *missing)
{
    ErrorBox("Cannot find \"%s\". Extract all files of the package first (in Explorer: right-click the .zip file, "
             "Extract All), then start setup.exe from the extracted folder.", missing);
}
