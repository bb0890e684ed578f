// StartThread on POSIX systems.
#include "platform/thread.h"

#include <new>
#include <pthread.h>

namespace {

struct Start {
    ThreadRoutine routine;
    void* argument;
};

void* Trampoline(void* p)
{
    const Start start = *static_cast<Start*>(p);
    delete static_cast<Start*>(p);
    start.routine(start.argument);
    return nullptr;
}

}  // namespace

bool StartThread(ThreadRoutine routine, void* argument)
{
    auto* start = new (std::nothrow) Start{routine, argument};
    if (!start)
        return false;
    pthread_t thread;
    if (pthread_create(&thread, nullptr, Trampoline, start) != 0) {
        delete start;
        return false;
    }
    pthread_detach(thread);
    return true;
}
