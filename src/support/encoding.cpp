#include "support/encoding.h"
#include "support/memory.h"

const UINT kMostBytesPerCharacter = 3;   // of a UTF-16 unit in any ANSI code page, UTF-8 included

TextEncoding DetectTextEncoding(const char *bytes, DWORD size)
{
    const BYTE *b = (const BYTE *)bytes;
    if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE)
        return kUtf16Text;
    if (size >= 2 && b[0] == 0xFE && b[1] == 0xFF)
        return kUtf16BigEndianText;
    if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
        return kUtf8BomText;
    bool beyondAscii = false;
    for (DWORD i = 0; i < size && !beyondAscii; i++)
        beyondAscii = b[i] >= 0x80;
    if (beyondAscii && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, (int)size, NULL, 0) > 0)
        return kUtf8Text;
    return kAnsiText;
}

const char *EncodingName(TextEncoding encoding)
{
    static const char *const kNames[] = { "ANSI", "UTF-8", "UTF-8 with a byte-order mark", "UTF-16", "UTF-16 big-endian" };
    return kNames[encoding];
}

// The text after its byte-order mark as UTF-16 with a terminator, in a heap block; *count gets
// its characters.
static WCHAR *ToWide(const char *bytes, DWORD size, TextEncoding encoding, int *count)
{
    WCHAR *wide;
    if (encoding == kUtf16Text || encoding == kUtf16BigEndianText) {
        const BYTE *b = (const BYTE *)bytes + 2;
        *count = (int)(size - 2) / 2;
        wide = (WCHAR *)MemAlloc(((SIZE_T)*count + 1) * sizeof(WCHAR));
        for (int i = 0; i < *count; i++)
            wide[i] = encoding == kUtf16Text ? (WCHAR)(b[2 * i] | b[2 * i + 1] << 8) : (WCHAR)(b[2 * i] << 8 | b[2 * i + 1]);
    } else {
        int skip = encoding == kUtf8BomText ? 3 : 0;
        int length = (int)size - skip;
        *count = length > 0 ? MultiByteToWideChar(CP_UTF8, 0, bytes + skip, length, NULL, 0) : 0;
        wide = (WCHAR *)MemAlloc(((SIZE_T)*count + 1) * sizeof(WCHAR));
        if (*count > 0)
            MultiByteToWideChar(CP_UTF8, 0, bytes + skip, length, wide, *count);
    }
    wide[*count] = L'\0';
    return wide;
}

// Into the ANSI code page (text: kMostBytesPerCharacter bytes a character); false when exact and a
// character is lacking. With the system's UTF-8 option the code page holds every character and
// takes neither the flag nor the report.
static int ToAnsi(const WCHAR *wide, int count, char *text, bool exact, bool *lacking)
{
    BOOL lost = FALSE;
    bool checked = exact && GetACP() != CP_UTF8;
    int length = count == 0 ? 0 : WideCharToMultiByte(CP_ACP, checked ? WC_NO_BEST_FIT_CHARS : 0, wide, count, text,
                                                      count * (int)kMostBytesPerCharacter, NULL, checked ? &lost : NULL);
    *lacking = lost != FALSE;
    return length;
}

// The first line (1-based) that holds a character the code page lacks.
static DWORD FirstLackingLine(const WCHAR *wide, int count, char *scratch)
{
    DWORD line = 1;
    for (int start = 0; start < count; line++) {
        int end = start;
        while (end < count && wide[end] != L'\n')
            end++;
        bool lacking = false;
        ToAnsi(wide + start, end - start, scratch, true, &lacking);
        if (lacking)
            return line;
        start = end + 1;
    }
    return line;
}

char *TextToAnsi(const char *bytes, DWORD size, bool exact, DWORD *length, DWORD *badLine)
{
    TextEncoding encoding = DetectTextEncoding(bytes, size);
    char *text;
    DWORD textLength = size;
    if (encoding == kAnsiText) {
        text = (char *)MemAlloc((SIZE_T)size + 1);
        CopyMemory(text, bytes, size);
    } else {
        int count = 0;
        bool lacking = false;
        WCHAR *wide = ToWide(bytes, size, encoding, &count);
        text = (char *)MemAlloc((SIZE_T)count * kMostBytesPerCharacter + 1);
        textLength = (DWORD)ToAnsi(wide, count, text, exact, &lacking);
        if (lacking) {
            *badLine = FirstLackingLine(wide, count, text);
            MemFree(text);
            text = NULL;
        }
        MemFree(wide);
        if (text == NULL) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return NULL;
        }
    }
    text[textLength] = '\0';
    if (length != NULL)
        *length = textLength;
    return text;
}
