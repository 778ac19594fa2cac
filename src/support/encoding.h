// Text files as their authors' editors save them (ANSI, UTF-8 with or without a byte-order mark,
// UTF-16 with one), taken into the ANSI code page of the machine that reads them.
#pragma once
#include <windows.h>

enum TextEncoding { kAnsiText, kUtf8Text, kUtf8BomText, kUtf16Text, kUtf16BigEndianText };

// A text that is not valid UTF-8 and has no byte-order mark is ANSI.
TextEncoding DetectTextEncoding(const char *bytes, DWORD size);
const char *EncodingName(TextEncoding encoding);   // "ANSI", "UTF-8", ...
// The text in the ANSI code page with a terminator, in a heap block (MemFree it); an ANSI text
// comes back as it is. exact: a character the code page lacks fails the conversion, with *badLine
// (1-based) naming its line and ERROR_NO_UNICODE_TRANSLATION as the last error; otherwise such a
// character becomes the code page's nearest letter or a question mark. length may be null.
char *TextToAnsi(const char *bytes, DWORD size, bool exact, DWORD *length, DWORD *badLine);
