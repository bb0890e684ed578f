// CReadPool: the readers, threads that make the calls to the file system
// that may block (a file's open, the bytes of a piece) while the threads that
// asked for them work on what came before.
//
// A disk without a seek penalty serves several reads at once faster than one
// after another, and a share hides its latency so; a thread that reads and
// then digests keeps at most one call in flight, and the disk idles while it
// digests.
//
// Reads begin in the order asked, each on one reader. Readers start as reads
// need them, up to the pool's number, and then stay: under Wine a thread
// costs a millisecond to start and a MiB of memory to run. The process's own
// pool (Shared) serves one file and a batch alike; CReadAhead is how callers
// use it for the pieces of files.
//
// A read that never returns (a dead share) holds its reader for ever, and
// whoever waits for it; closing then ends the process.
//
// THREADING: m_lock guards the queue, the counts and every read's state; the
// users of the pool (CReadAhead) keep the state of their reads under it too,
// so that one lock orders a read's end with its next and with its waiter.
// Readers wait on one condition; a caller waits on a condition of its own,
// which the reads it waits for name, so that a read done wakes only a caller
// that waits for it: under Wine a wake costs some microseconds, and a batch
// makes tens of thousands of reads.
#pragma once

#include <mutex>

#include "platform/sync.h"

class CReadPool {
public:
    using Lock = std::unique_lock<CLock>;

    // One call that may block. The queue is the reads themselves, linked, so
    // that asking allocates nothing and cannot fail.
    class Read {
    public:
        Read() = default;
        Read(const Read&) = delete;
        Read& operator=(const Read&) = delete;

        // Asked and not yet over: queued, or being made.
        bool Pending() const { return m_state != State::Idle; }

    protected:
        ~Read() = default;

        // Makes the call, on a reader, without the lock.
        virtual void Make() noexcept = 0;
        // Under the lock, once Make has returned: the read takes its result
        // and wakes whoever waits for it, and may ask itself again. The pool
        // does not touch the read afterwards, so the read's owner may let it
        // go once the lock is free.
        virtual void Made(Lock& lock) noexcept = 0;

    private:
        friend class CReadPool;
        enum class State { Idle, Queued, Making };
        State m_state = State::Idle;
        Read* m_next = nullptr;  // in the queue
    };

    // Up to readers reader threads, started as reads need them; with 0 every
    // read is made by the thread that asks for it.
    explicit CReadPool(unsigned readers);
    CReadPool(const CReadPool&) = delete;
    CReadPool& operator=(const CReadPool&) = delete;
    // Ends the readers; every read must be over by then.
    ~CReadPool();

    // The process's pool, never destroyed: its readers may be in a call that
    // never returns when the process ends.
    static CReadPool& Shared();

    // Starts one reader now, so that the first read does not wait for it;
    // false when none could be started.
    bool StartOne();

    // The lock of the pool and of its reads.
    CLock& Mutex() { return m_lock; }

    // With the lock held: queues read, which is idle, behind the reads asked
    // before it. Without readers, makes it on this thread at once, the lock
    // let go meanwhile.
    void Ask(Lock& lock, Read& read) noexcept;
    // With the lock held: takes read out of the queue, so that it is never
    // made; false when it is not queued (being made, or idle).
    bool Withdraw(Read& read) noexcept;
    // With the lock held: makes read on this thread if it is still queued
    // (the lock let go meanwhile); false when it is not. A caller that would
    // only wait for its reads makes them itself, and saves the switches of
    // threads that a reader's turn costs.
    bool MakeNow(Lock& lock, Read& read) noexcept;

private:
    static void Run(void* pool) noexcept;
    void Serve() noexcept;
    static void MakeHere(Lock& lock, Read& read) noexcept;
    bool StartLocked();

    const unsigned m_wanted;
    mutable CLock m_lock;
    CCondition m_readerWake;  // a read to make, or the end
    CCondition m_gone;        // a reader gone
    Read* m_first = nullptr;  // the queue
    Read* m_last = nullptr;
    unsigned m_queued = 0;
    unsigned m_readers = 0;   // started and not gone yet
    unsigned m_idle = 0;      // readers waiting for a wake
    unsigned m_finishing = 0; // readers in a read's Made: they take the next read without a wake
    unsigned m_starting = 0;  // readers started that have not looked at the queue yet
    unsigned m_wakes = 0;     // wakes sent and not taken yet: one a reader
    bool m_failedToStart = false;  // a reader could not be started: no more tries
    bool m_stop = false;
};
