// Small string and parsing helpers: blanks, searching, numbers, tokens, paths.
#pragma once
#include <windows.h>

bool IsBlank(char c);                           // space or tab
const char *SkipBlanks(const char *text);
const char *StrFindChar(const char *text, char c);      // the terminator is found too
const char *StrFindLastChar(const char *text, char c);
const char *StrFindStr(const char *text, const char *part);
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
