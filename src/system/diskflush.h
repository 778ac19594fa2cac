// Flushing the write caches of every fixed disk before a driver is started or loaded.
#pragma once
#include <windows.h>

void FlushFixedDisks();
