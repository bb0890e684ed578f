// CLock and CCondition: a lock, and a condition that threads of the process
// wait on under it. CLock is a standard lockable (std::unique_lock takes it).
//
// On Windows they are the system's slim reader/writer lock and condition
// variable, which wait within the process (under Wine, in the kernel's
// futexes). The compiler's POSIX threads library makes every wait and wake a
// round trip to Wine's server instead, some tens of microseconds each: the
// price of every block of a file read ahead. Elsewhere they are the standard
// library's.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <mutex>

class CLock {
public:
    CLock() = default;
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;
    void lock() { AcquireSRWLockExclusive(&m_lock); }
    void unlock() { ReleaseSRWLockExclusive(&m_lock); }

private:
    friend class CCondition;
    SRWLOCK m_lock = SRWLOCK_INIT;
};

class CCondition {
public:
    CCondition() = default;
    CCondition(const CCondition&) = delete;
    CCondition& operator=(const CCondition&) = delete;

    // Waits, with lock held, until done() holds.
    template <typename Done>
    void Wait(std::unique_lock<CLock>& lock, Done done)
    {
        while (!done())
            SleepConditionVariableSRW(&m_condition, &lock.mutex()->m_lock, INFINITE, 0);
    }
    void NotifyOne() { WakeConditionVariable(&m_condition); }
    void NotifyAll() { WakeAllConditionVariable(&m_condition); }

private:
    CONDITION_VARIABLE m_condition = CONDITION_VARIABLE_INIT;
};

#else

#include <condition_variable>
#include <mutex>

using CLock = std::mutex;

class CCondition {
public:
    template <typename Done>
    void Wait(std::unique_lock<CLock>& lock, Done done)
    {
        m_condition.wait(lock, done);
    }
    void NotifyOne() { m_condition.notify_one(); }
    void NotifyAll() { m_condition.notify_all(); }

private:
    std::condition_variable m_condition;
};

#endif
