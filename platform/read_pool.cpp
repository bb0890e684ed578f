// CReadPool.
#include "platform/read_pool.h"

#include <new>

#include "platform/thread.h"

namespace {

// The process's readers: a batch keeps this many reads in flight, which a
// disk without a seek penalty serves faster than one or two; more gained
// nothing measurable from the disk, and each costs a MiB under Wine. One file
// needs one.
constexpr unsigned kSharedReaders = 4;

}  // namespace

CReadPool::CReadPool(unsigned readers) : m_wanted(readers) {}

CReadPool::~CReadPool()
{
    Lock lock(m_lock);
    m_stop = true;
    m_readerWake.NotifyAll();
    m_gone.Wait(lock, [this] { return m_readers == 0; });
}

CReadPool& CReadPool::Shared()
{
    // In static storage, so that asking for it never fails; never destroyed.
    alignas(CReadPool) static unsigned char storage[sizeof(CReadPool)];
    static CReadPool* const pool = new (storage) CReadPool(kSharedReaders);
    return *pool;
}

bool CReadPool::StartOne()
{
    Lock lock(m_lock);
    return m_readers > 0 || StartLocked();
}

bool CReadPool::StartLocked()
{
    if (m_failedToStart || m_readers >= m_wanted)
        return false;
    // It waits for the lock until this thread lets go.
    if (!StartThread(&CReadPool::Run, this)) {
        m_failedToStart = true;
        return false;
    }
    ++m_readers;
    ++m_starting;
    return true;
}

void CReadPool::Run(void* pool) noexcept
{
    static_cast<CReadPool*>(pool)->Serve();
}

void CReadPool::Serve() noexcept
{
    Lock lock(m_lock);
    --m_starting;
    for (;;) {
        if (!m_first) {
            if (m_stop)
                break;
            // Only a wake meant for a reader ends the wait, so that every
            // wake that Ask counts reaches one.
            ++m_idle;
            m_readerWake.Wait(lock, [this] { return m_wakes > 0 || m_stop; });
            --m_idle;
            if (m_wakes > 0)
                --m_wakes;
            continue;
        }
        Read& read = *m_first;
        m_first = read.m_next;
        if (!m_first)
            m_last = nullptr;
        read.m_next = nullptr;
        --m_queued;
        read.m_state = Read::State::Making;
        lock.unlock();
        read.Make();
        lock.lock();
        read.m_state = Read::State::Idle;
        // A read that Made asks takes this reader next, without a wake.
        ++m_finishing;
        read.Made(lock);
        --m_finishing;
    }
    --m_readers;
    m_gone.NotifyAll();  // the pool may be gone once the lock is free
}

void CReadPool::MakeHere(Lock& lock, Read& read) noexcept
{
    read.m_state = Read::State::Making;
    lock.unlock();
    read.Make();
    lock.lock();
    read.m_state = Read::State::Idle;
    read.Made(lock);
}

void CReadPool::Ask(Lock& lock, Read& read) noexcept
{
    read.m_state = Read::State::Queued;
    read.m_next = nullptr;
    if (m_last)
        m_last->m_next = &read;
    else
        m_first = &read;
    m_last = &read;
    ++m_queued;
    // Reads that no reader is on its way to: a sleeping reader is woken for
    // one, or where none sleeps, another started.
    if (m_queued > m_wakes + m_finishing + m_starting) {
        if (m_idle > m_wakes) {
            ++m_wakes;
            m_readerWake.NotifyOne();
        } else {
            StartLocked();
        }
    }
    if (m_readers == 0) {
        Withdraw(read);
        MakeHere(lock, read);
    }
}

bool CReadPool::MakeNow(Lock& lock, Read& read) noexcept
{
    if (!Withdraw(read))
        return false;
    MakeHere(lock, read);
    return true;
}

bool CReadPool::Withdraw(Read& read) noexcept
{
    if (read.m_state != Read::State::Queued)
        return false;
    Read** link = &m_first;
    Read* before = nullptr;
    while (*link != &read) {
        before = *link;
        link = &before->m_next;
    }
    *link = read.m_next;
    if (m_last == &read)
        m_last = before;
    read.m_next = nullptr;
    read.m_state = Read::State::Idle;
    --m_queued;
    return true;
}
