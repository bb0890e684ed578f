// Starting a routine on a thread of its own.
#pragma once

#include <cstdint>

using ThreadRoutine = std::uint32_t (*)(void* argument);

// Runs routine(argument) on a new, detached thread: nobody joins it, and its
// exit code is not read. Returns false when no thread could be created; the
// routine then never runs.
bool StartThread(ThreadRoutine routine, void* argument);
