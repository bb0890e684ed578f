// Starting a routine on a thread of its own.
#pragma once

#include <cstdint>

using ThreadRoutine = void (*)(void* argument);

// Runs routine(argument) on a new, detached thread: nobody joins it. Returns
// false when no thread could be created; the routine then never runs.
bool StartThread(ThreadRoutine routine, void* argument);
