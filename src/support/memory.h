// Heap blocks with an allocation-failure hook, and heap copies of texts.
#pragma once
#include <windows.h>

// Nonzero: try the allocation again; 0: give up.
typedef DWORD (*AllocFailureHook)(ULONGLONG size);

void *MemAlloc(SIZE_T size);
void MemFree(void *block);
AllocFailureHook SetAllocFailureHook(AllocFailureHook hook);
char *StrDup(const char *text);
