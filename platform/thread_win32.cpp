// StartThread on Windows: CreateThread, handle closed at once.
#include "platform/thread.h"

#include <new>
#include <windows.h>

namespace {

struct Start {
    ThreadRoutine routine;
    void* argument;
};

DWORD WINAPI Trampoline(LPVOID p)
{
    const Start start = *static_cast<Start*>(p);
    delete static_cast<Start*>(p);
    start.routine(start.argument);
    return 0;
}

}  // namespace

bool StartThread(ThreadRoutine routine, void* argument)
{
    auto* start = new (std::nothrow) Start{routine, argument};
    if (!start)
        return false;
    DWORD id = 0;
    const HANDLE thread = CreateThread(nullptr, 0, Trampoline, start, 0, &id);
    if (!thread) {
        delete start;
        return false;
    }
    CloseHandle(thread);  // the thread runs on, detached
    return true;
}
