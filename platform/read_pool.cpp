// CReadPool.
#include "platform/read_pool.h"

#include <algorithm>

#include "platform/thread.h"

CReadPool::CReadPool(unsigned readers) : m_wanted(readers) {}

unsigned CReadPool::Readers() const
{
    Lock lock(m_lock);
    return m_readers;
}

CReadPool::~CReadPool()
{
    Lock lock(m_lock);
    m_stop = true;
    m_readerWake.NotifyAll();
    m_gone.Wait(lock, [this] { return m_running == 0; });
}

void CReadPool::Run(void* pool) noexcept
{
    static_cast<CReadPool*>(pool)->Serve();
}

void CReadPool::Make(Read& read) noexcept
{
    std::uint32_t got = 0;
    bool made = false;
    try {
        made = read.read(read.buffer, read.count, got);
    } catch (...) {
    }
    read.got = made ? got : 0;
    read.failed = !made;
}

void CReadPool::Finish(Read& read)
{
    // Once it is done its caller may let it go without the lock: it is not
    // touched after. A caller that waits for it waits under the lock, so its
    // condition outlives the wake.
    CCondition* const waiter = read.m_waiter;
    read.m_state.store(Read::State::Done, std::memory_order_release);
    if (waiter)
        waiter->NotifyOne();
}

void CReadPool::Serve() noexcept
{
    Lock lock(m_lock);
    for (;;) {
        if (m_queue.empty() && !m_stop) {
            // Only a wake meant for a reader ends the wait, so that every
            // wake that Ask counts reaches one.
            ++m_sleeping;
            m_readerWake.Wait(lock, [this] { return m_wakes > 0 || m_stop; });
            --m_sleeping;
            if (m_wakes > 0)
                --m_wakes;
            continue;
        }
        if (m_stop)
            break;
        Read& read = *m_queue.front();
        m_queue.pop_front();
        read.m_state.store(Read::State::Reading, std::memory_order_relaxed);
        lock.unlock();
        Make(read);
        lock.lock();
        Finish(read);
    }
    --m_running;
    m_gone.NotifyAll();  // the pool may be gone once the lock is free
}

void CReadPool::ReadNow(Read& read)
{
    Make(read);
    Lock lock(m_lock);
    Finish(read);
}

void CReadPool::Ask(Read& read)
{
    Lock lock(m_lock);
    if (!m_started) {
        // They wait for the lock until this read is queued.
        m_started = true;
        while (m_readers < m_wanted && StartThread(&CReadPool::Run, this)) {
            ++m_readers;
            ++m_running;
        }
    }
    if (m_readers == 0) {
        lock.unlock();
        ReadNow(read);
        return;
    }
    read.m_state.store(Read::State::Queued, std::memory_order_relaxed);
    m_queue.push_back(&read);
    // A reader that is between reads takes it on its own; one more sleeping
    // reader is woken for each read that no wake covers yet.
    if (m_sleeping > m_wakes && m_queue.size() > m_wakes) {
        ++m_wakes;
        m_readerWake.NotifyOne();
    }
}

std::size_t CReadPool::WaitFor(Read* const* reads, std::size_t count, std::size_t wanted,
                               std::chrono::milliseconds timeout)
{
    std::size_t done = 0;
    const auto enough = [&] {
        done = static_cast<std::size_t>(std::count_if(reads, reads + count, [this](Read* read) { return Done(*read); }));
        return done >= std::min(wanted, count);
    };
    Lock lock(m_lock);
    if (enough())
        return done;
    CCondition waiter;
    for (std::size_t i = 0; i < count; ++i)
        reads[i]->m_waiter = &waiter;
    waiter.WaitFor(lock, timeout, enough);
    for (std::size_t i = 0; i < count; ++i)
        reads[i]->m_waiter = nullptr;
    return done;
}

void CReadPool::Withdraw(Read& read)
{
    Lock lock(m_lock);
    switch (read.m_state.load(std::memory_order_relaxed)) {
    case Read::State::Queued:
        m_queue.erase(std::find(m_queue.begin(), m_queue.end(), &read));
        break;
    case Read::State::Reading: {
        CCondition waiter;
        read.m_waiter = &waiter;
        waiter.Wait(lock, [&] { return Done(read); });
        read.m_waiter = nullptr;
        break;
    }
    case Read::State::Idle:
    case Read::State::Done:
        break;
    }
    read.m_state.store(Read::State::Idle, std::memory_order_relaxed);
}
