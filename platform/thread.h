// StartThread: the one way the program runs a routine on a thread of its own.
#pragma once

// A thread's routine may not throw: it is the boundary where the thread's
// failures are caught and turned into results, and an exception that left it
// would end the process. The type says so, and the compiler holds every
// routine to it.
using ThreadRoutine = void (*)(void* argument) noexcept;

// Runs routine(argument) on a new, detached thread: nobody joins it. Returns
// false when no thread could be made, for whatever reason; the routine then
// never runs. Never throws.
bool StartThread(ThreadRoutine routine, void* argument) noexcept;
