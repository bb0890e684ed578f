// Figures of a process that a leak would move: open handles, live threads and
// memory. Read from any thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <ostream>

struct ProcessFigures {
    DWORD handles = 0;
    DWORD threads = 0;
    std::size_t privateBytes = 0;  // committed memory of the process's own (PagefileUsage)
    std::size_t workingSet = 0;    // memory in RAM (WorkingSetSize)
    std::size_t heapBytes = 0;     // bytes in blocks in use on all heaps of the process
};

// Now, for this process or another.
DWORD HandleCount(HANDLE process = GetCurrentProcess());
DWORD ThreadCount(DWORD processId = GetCurrentProcessId());
// Exact where the memory figures move in pages: a leak of a hundred bytes a
// job shows here.
std::size_t HeapBytesInUse();
ProcessFigures CurrentFigures();
// Another process's: the heaps are not counted.
ProcessFigures FiguresOf(HANDLE process);

// Waits until the thread count is at most threads (threads that have ended
// their work may take a moment to leave); returns the last count seen.
DWORD WaitForThreadCountAtMost(DWORD threads, DWORD processId = GetCurrentProcessId());

std::ostream& operator<<(std::ostream& out, const ProcessFigures& figures);
