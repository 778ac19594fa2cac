// Small string and parsing helpers: blanks, searching, numbers, tokens, paths.
// Text from the system, the user or the author is in the ANSI code page, which may be double-byte
// (Japanese, Chinese, Korean): there the second byte of a letter may be any byte from 0x40 up, a
// backslash's among them. These helpers take text apart by characters; no unit scans such a text
// byte by byte. (Below 0x40 no second byte falls: a blank, a quote, a period, a comma, ';', '%' or
// ':' is always itself.)
#pragma once
#include <windows.h>

bool IsBlank(char c);                           // space or tab
const char *SkipBlanks(const char *text);
// The next character: one byte, or two for a double-byte letter; the terminator stays put.
const char *NextChar(const char *text);
const char *StrFindChar(const char *text, char c);      // the terminator is found too
const char *StrFindLastChar(const char *text, char c);
const char *StrFindStr(const char *text, const char *part);
// Whether the text's last character is c (a backslash that ends a double-byte letter is none).
bool EndsWithChar(const char *text, char c);
// Whether the text ends in the suffix, case ignored, at a character boundary.
bool EndsWithText(const char *text, const char *suffix);
// At most size - 1 bytes of the source and a terminator, never half a letter.
char *StrCopyCut(char *destination, const char *source, UINT size);
// 0 when the first n characters match ignoring case; the sign tells which sorts first.
int StrPrefixCompare(const char *a, const char *b, int n);
// Digits of bases 2 to 36, no sign, no prefix; stops before a digit that would pass 32 bits.
DWORD ParseNumber(const char *text, const char **end, UINT base);
// One blank-separated or double-quoted token into destination (size bytes). Null when there is
// no token, the closing quote is missing or the token does not fit (the last two are logged).
const char *GetToken(const char *source, char *destination, UINT size);
char *DirOfPath(char *destination, const char *path);   // destination holds MAX_PATH
const char *PidText(DWORD pid, char *buffer);           // buffer of 16 bytes, or null
bool FileExists(const char *path);
