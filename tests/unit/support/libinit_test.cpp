#include <gtest/gtest.h>
#include <string>
#include "support/libinit.h"

namespace {

std::string calls;

void FirstAtExit() { calls += "x1"; }
void SecondAtExit() { calls += "x2"; }
bool InitA() { calls += "a"; return LibAtExit(FirstAtExit) && LibAtExit(SecondAtExit); }
bool InitB() { calls += "b"; return true; }
bool InitFails() { calls += "f"; return false; }

TEST(LibInit, RunsInitFunctionsInOrderAndUnwindsOnFailure)
{
    calls.clear();
    const LibInitFunction good[] = { InitB, NULL };
    EXPECT_TRUE(LibInit(good));
    EXPECT_TRUE(LibInit(NULL));
    EXPECT_EQ(calls, "b");

    calls.clear();
    const LibInitFunction failing[] = { InitA, InitFails, InitB, NULL };
    EXPECT_FALSE(LibInit(failing));
    // InitB never runs; the at-exit list is drained from its head.
    EXPECT_EQ(calls, "afx1x2");
    EXPECT_FALSE(LibAtExit(FirstAtExit)) << "the list is gone after shutdown";

    calls.clear();
    EXPECT_TRUE(LibInit(NULL));   // starts again after a shutdown
    LibShutdown();
    EXPECT_EQ(calls, "");
}

}  // namespace
