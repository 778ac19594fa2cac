#include "support/memory.h"

static AllocFailureHook allocFailureHook;

void *MemAlloc(SIZE_T size)
{
    void *block;
    while ((block = LocalAlloc(LPTR, size)) == NULL) {
        if (allocFailureHook == NULL || allocFailureHook(size) == 0)
            break;
    }
    return block;
}

void MemFree(void *block)
{
    if (block != NULL)
        LocalFree(block);
}

AllocFailureHook SetAllocFailureHook(AllocFailureHook hook)
{
    AllocFailureHook previous = allocFailureHook;
    allocFailureHook = hook;
    return previous;
}

char *StrDup(const char *text)
{
    int length = lstrlenA(text);
    char *copy = (char *)MemAlloc((SIZE_T)length + 1);
    if (copy != NULL)
        CopyMemory(copy, text, (SIZE_T)length + 1);
    return copy;
}
