#include "script/setup_script.h"
#include "support/memory.h"

SetupScript Script;

void AllocateEntryLists()
{
    Script.FileList = (ScriptEntry *)MemAlloc(kEntryListCapacity * sizeof(ScriptEntry));
    Script.LinkList = (ScriptEntry *)MemAlloc(kEntryListCapacity * sizeof(ScriptEntry));
}
