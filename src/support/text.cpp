#include "support/text.h"
#include "support/runstate.h"
#include "support/tracelog.h"

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

const char *SkipBlanks(const char *text)
{
    while (IsBlank(*text))
        text++;
    return text;
}

const char *NextChar(const char *text)
{
    if (*text == '\0')
        return text;
    if (IsDBCSLeadByte((BYTE)*text) && text[1] != '\0')
        return text + 2;
    return text + 1;
}

const char *StrFindChar(const char *text, char c)
{
    for (;; text = NextChar(text)) {
        if (*text == c)
            return text;
        if (*text == '\0')
            return NULL;
    }
}

const char *StrFindLastChar(const char *text, char c)
{
    const char *found = NULL;
    for (;; text = NextChar(text)) {
        if (*text == c)
            found = text;
        if (*text == '\0')
            return found;
    }
}

const char *StrFindStr(const char *text, const char *part)
{
    for (;; text = NextChar(text)) {
        int i = 0;
        while (part[i] != '\0' && text[i] == part[i])
            i++;
        if (part[i] == '\0')
            return text;
        if (*text == '\0')
            return NULL;
    }
}

// The start of the text's last character, or null for an empty text.
static const char *LastChar(const char *text)
{
    const char *last = NULL;
    for (; *text != '\0'; text = NextChar(text))
        last = text;
    return last;
}

bool EndsWithChar(const char *text, char c)
{
    const char *last = LastChar(text);
    return last != NULL && last[0] == c && last[1] == '\0';
}

bool EndsWithText(const char *text, const char *suffix)
{
    int length = lstrlenA(text), suffixLength = lstrlenA(suffix);
    for (const char *at = text; length - (int)(at - text) >= suffixLength; at = NextChar(at)) {
        if (length - (int)(at - text) == suffixLength)
            return lstrcmpiA(at, suffix) == 0;
    }
    return false;
}

char *StrCopyCut(char *destination, const char *source, UINT size)
{
    UINT length = 0;
    while (*source != '\0') {
        const char *next = NextChar(source);
        UINT count = (UINT)(next - source);
        if (length + count >= size)
            break;
        CopyMemory(destination + length, source, count);
        length += count;
        source = next;
    }
    destination[length] = '\0';
    return destination;
}

int StrPrefixCompare(const char *a, const char *b, int n)
{
    // Never read past a terminator: a shorter text compares as itself.
    int lengthA = lstrlenA(a), lengthB = lstrlenA(b);
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, lengthA < n ? lengthA : n,
                          b, lengthB < n ? lengthB : n) - CSTR_EQUAL;
}

static int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    return 99;
}

DWORD ParseNumber(const char *text, const char **end, UINT base)
{
    ULONGLONG value = 0;
    for (;; text++) {
        int digit = DigitValue(*text);
        if (digit >= (int)base)
            break;
        ULONGLONG next = value * base + (ULONGLONG)digit;
        if (next > 0xFFFFFFFFull)
            break;   // this digit stays unconsumed; the value is what fitted
        value = next;
    }
    if (end != NULL)
        *end = text;
    return (DWORD)value;
}

const char *GetToken(const char *source, char *destination, UINT size)
{
    destination[0] = '\0';
    const char *start = SkipBlanks(source);
    if (*start == '\0')
        return NULL;
    const char *stop;
    const char *after;
    if (*start == '"') {
        start++;
        stop = StrFindChar(start, '"');
        if (stop == NULL) {
            LogLine(kLogError, "No right quotemark: `%s`", source);
            return NULL;
        }
        after = stop + 1;
    } else {
        stop = StrFindChar(start, ' ');
        if (stop == NULL)
            stop = start + lstrlenA(start);
        after = stop;
    }
    UINT length = (UINT)(stop - start);
    if (length >= size) {
        LogLine(kLogError, "Token too long: `%s`", source);
        return NULL;
    }
    CopyMemory(destination, start, length);
    destination[length] = '\0';
    return after;
}

char *DirOfPath(char *destination, const char *path)
{
    StrCopyCut(destination, path, MAX_PATH);
    char *slash = (char *)StrFindLastChar(destination, '\\');
    if (slash != NULL)
        *slash = '\0';
    return destination;
}

const char *PidText(DWORD pid, char *buffer)
{
    static char sharedBuffer[16];
    if (buffer == NULL)
        buffer = sharedBuffer;
    wsprintfA(buffer, Run.IsNT ? "%d" : "%X", pid);
    return buffer;
}

bool FileExists(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}
