#include <gtest/gtest.h>
#include "support/memory.h"

namespace {

int hookCalls;
ULONGLONG hookSize;
DWORD hookRetries;

DWORD CountingHook(ULONGLONG size)
{
    hookCalls++;
    hookSize = size;
    return hookCalls <= (int)hookRetries;
}

// More than any address space this machine has: the heap refuses it every time.
const SIZE_T kImpossibleSize = (SIZE_T)1 << 62;

TEST(MemAlloc, GivesZeroFilledBlocks)
{
    unsigned char *block = (unsigned char *)MemAlloc(4096);
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 4096; i++)
        ASSERT_EQ(block[i], 0) << "byte " << i;
    MemFree(block);
    MemFree(NULL);   // ignored
}

TEST(MemAlloc, AsksTheHookUntilItGivesUp)
{
    struct Case { DWORD retries; int expectedCalls; };
    for (Case c : { Case{ 0, 1 }, Case{ 2, 3 } }) {
        hookCalls = 0;
        hookRetries = c.retries;
        AllocFailureHook previous = SetAllocFailureHook(CountingHook);
        void *block = MemAlloc(kImpossibleSize);
        EXPECT_EQ(SetAllocFailureHook(previous), CountingHook);
        EXPECT_EQ(block, nullptr);
        EXPECT_EQ(hookCalls, c.expectedCalls) << "retries " << c.retries;
        EXPECT_EQ(hookSize, (ULONGLONG)kImpossibleSize);
    }
}

TEST(MemAlloc, WithoutHookFailsQuietly)
{
    AllocFailureHook previous = SetAllocFailureHook(NULL);
    EXPECT_EQ(MemAlloc(kImpossibleSize), nullptr);
    SetAllocFailureHook(previous);
}

TEST(StrDup, CopiesIncludingTerminator)
{
    const char text[] = "C:\\Program Files\\Demo";
    char *copy = StrDup(text);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, text);
    EXPECT_STREQ(copy, text);
    MemFree(copy);
    char *empty = StrDup("");
    EXPECT_STREQ(empty, "");
    MemFree(empty);
}

}  // namespace
