// StartThread: CreateThread on Windows, its handle closed at once; a detached
// POSIX thread elsewhere.
#include "platform/thread.h"

#include <new>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace {

struct Start {
    ThreadRoutine routine;
    void* argument;
};

void Run(void* p)
{
    const Start start = *static_cast<Start*>(p);
    delete static_cast<Start*>(p);
    start.routine(start.argument);
}

#ifdef _WIN32
DWORD WINAPI Trampoline(LPVOID p)
{
    Run(p);
    return 0;
}
#else
void* Trampoline(void* p)
{
    Run(p);
    return nullptr;
}
#endif

}  // namespace

bool StartThread(ThreadRoutine routine, void* argument) noexcept
{
    auto* start = new (std::nothrow) Start{routine, argument};
    if (!start)
        return false;
#ifdef _WIN32
    DWORD id = 0;
    const HANDLE thread = CreateThread(nullptr, 0, Trampoline, start, 0, &id);
    const bool started = thread != nullptr;
    if (started)
        CloseHandle(thread);  // the thread runs on, detached
#else
    pthread_t thread;
    const bool started = pthread_create(&thread, nullptr, Trampoline, start) == 0;
    if (started)
        pthread_detach(thread);
#endif
    if (!started)
        delete start;
    return started;
}
