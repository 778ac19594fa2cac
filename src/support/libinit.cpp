#include "support/libinit.h"
#include "support/memory.h"

struct AtExitEntry {
    AtExitEntry *previous;
    AtExitEntry *next;
    AtExitFunction function;
};

struct AtExitList {
    AtExitEntry *head;
    AtExitEntry *tail;
    DWORD count;
};

static AtExitList *atExitList;
static OSVERSIONINFOA libOsVersion;

static bool InitOnce()
{
    if (atExitList != NULL)
        return true;
    libOsVersion.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!GetVersionExA(&libOsVersion))
        return false;
    atExitList = (AtExitList *)MemAlloc(sizeof(AtExitList));
    return atExitList != NULL;
}

bool LibInit(const LibInitFunction *functions)
{
    bool ok = InitOnce();
    for (; ok && functions != NULL && *functions != NULL; functions++)
        ok = (*functions)();
    if (!ok)
        LibShutdown();
    return ok;
}

bool LibAtExit(AtExitFunction function)
{
    if (atExitList == NULL)
        return false;
    AtExitEntry *entry = (AtExitEntry *)MemAlloc(sizeof(AtExitEntry));
    if (entry == NULL)
        return false;
    entry->function = function;
    entry->previous = atExitList->tail;
    if (atExitList->tail != NULL)
        atExitList->tail->next = entry;
    else
        atExitList->head = entry;
    atExitList->tail = entry;
    atExitList->count++;
    return true;
}

void LibShutdown()
{
    if (atExitList == NULL)
        return;
    while (atExitList->head != NULL) {
        AtExitEntry *entry = atExitList->head;
        atExitList->head = entry->next;
        if (atExitList->head != NULL)
            atExitList->head->previous = NULL;
        else
            atExitList->tail = NULL;
        atExitList->count--;
        entry->function();
        MemFree(entry);
    }
    MemFree(atExitList);
    atExitList = NULL;
}
