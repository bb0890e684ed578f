// CLock and CCondition: the one lock of the program, and the condition that
// threads of the process wait on under it. CLock is a standard lockable, so
// std::lock_guard and std::unique_lock take it.
//
// On Windows they are the system's slim reader/writer lock and condition
// variable, which wait within the process (under Wine, in the kernel's
// futexes). The compiler's POSIX threads library makes every wait and wake a
// round trip to Wine's server instead, some tens of microseconds each: the
// price of every block of a file read ahead. Elsewhere they are the standard
// library's.
#pragma once

#include <chrono>
#include <mutex>

#ifdef _WIN32

#include <windows.h>

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

    // Waits, with lock held, until done() holds or timeout has passed; returns
    // done()'s last answer.
    template <typename Done>
    bool WaitFor(std::unique_lock<CLock>& lock, std::chrono::milliseconds timeout, Done done)
    {
        const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout.count());
        while (!done()) {
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline)
                return false;
            SleepConditionVariableSRW(&m_condition, &lock.mutex()->m_lock, static_cast<DWORD>(deadline - now), 0);
        }
        return true;
    }

    void NotifyOne() { WakeConditionVariable(&m_condition); }
    void NotifyAll() { WakeAllConditionVariable(&m_condition); }

private:
    CONDITION_VARIABLE m_condition = CONDITION_VARIABLE_INIT;
};

#else

#include <condition_variable>

using CLock = std::mutex;

class CCondition {
public:
    template <typename Done>
    void Wait(std::unique_lock<CLock>& lock, Done done)
    {
        m_condition.wait(lock, done);
    }

    template <typename Done>
    bool WaitFor(std::unique_lock<CLock>& lock, std::chrono::milliseconds timeout, Done done)
    {
        return m_condition.wait_for(lock, timeout, done);
    }

    void NotifyOne() { m_condition.notify_one(); }
    void NotifyAll() { m_condition.notify_all(); }

private:
    std::condition_variable m_condition;
};

#endif
