// CReadPool: several reads of files in flight at once, on a few threads of its
// own, for a caller that works on many files side by side: it asks for the
// next piece of one file and goes on with the others while the system fetches
// it.
//
// A disk without a seek penalty serves several reads at once faster than one
// after another, and a share hides its latency so; one thread that reads and
// then digests keeps at most one read in flight, and the disk idles while it
// digests.
//
// Reads begin in the order asked, each on one reader thread. The pool does not
// look at files: a caller that wants a file's pieces in order asks for one
// read of that file at a time.
//
// The readers start with the first read asked and end with the pool: under
// Wine a thread costs a MiB of memory, and a batch of small files, which its
// lanes read themselves (ReadNow), asks none. The destructor waits for the
// reads under way: one that never returns (a dead share) holds it up for
// ever, as it would hold up any thread that made it, and ending the process
// is then the way out.
//
// THREADING: any thread may ask for reads, take them back and wait for them.
// A read and its buffer are the pool's from Ask until Done answers true for
// it or Withdraw returns, and the caller's otherwise. m_lock guards the queue,
// the counts and the reads' waiters. The readers wait on one condition; a
// caller waits on a condition of its own, which a read it waits for names,
// so that a read done wakes only a caller that waits for it: under Wine a
// wake costs some microseconds, and a batch makes tens of thousands of
// reads.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>

#include "platform/sync.h"

class CReadPool {
public:
    // Reads up to count bytes into buffer and sets got to how many; false when
    // reading fails. Called on a reader thread, or on the asking thread where
    // no reader could be started.
    using ReadFunction = std::function<bool(unsigned char* buffer, std::uint32_t count, std::uint32_t& got)>;

    class Read {
    public:
        // The caller's to set before Ask.
        ReadFunction read;
        unsigned char* buffer = nullptr;
        std::uint32_t count = 0;
        // The pool's answer, once the read is done: got bytes, or failed (and
        // got 0).
        std::uint32_t got = 0;
        bool failed = false;

    private:
        friend class CReadPool;
        enum class State { Idle, Queued, Reading, Done };
        // Written under the pool's lock; Done is published with got and failed.
        std::atomic<State> m_state{State::Idle};
        CCondition* m_waiter = nullptr;  // the caller's that waits for it, under the lock
    };

    // Up to readers reader threads, started with the first read asked.
    explicit CReadPool(unsigned readers);
    CReadPool(const CReadPool&) = delete;
    CReadPool& operator=(const CReadPool&) = delete;
    // Waits for the reads under way and for every reader's last touch. Reads
    // still queued are never made: their callers take them back first.
    ~CReadPool();

    // The readers that started. Where none could, every read is made by Ask
    // itself.
    unsigned Readers() const;

    // Queues read, which is the caller's (never asked, done or withdrawn).
    void Ask(Read& read);

    // Makes read, which is the caller's, on this thread at once, done as Ask
    // would leave it: for a read that costs less than a reader's wake.
    void ReadNow(Read& read);

    // Whether read is done: its got and failed are then set, and it is the
    // caller's again. Never waits.
    bool Done(Read& read) const { return read.m_state.load(std::memory_order_acquire) == Read::State::Done; }

    // Waits until wanted of the count reads at reads are done (all of them,
    // where there are fewer), or timeout has passed; how many are done.
    std::size_t WaitFor(Read* const* reads, std::size_t count, std::size_t wanted, std::chrono::milliseconds timeout);

    // Takes read back: at once when no reader has begun it, else once its
    // read returns. The read is the caller's afterwards, done or not.
    void Withdraw(Read& read);

private:
    using Lock = std::unique_lock<CLock>;

    static void Run(void* pool) noexcept;
    void Serve() noexcept;
    static void Make(Read& read) noexcept;
    void Finish(Read& read);

    const unsigned m_wanted;
    mutable CLock m_lock;
    CCondition m_readerWake;  // a read to make, or the end
    CCondition m_gone;        // a reader gone
    std::deque<Read*> m_queue;
    bool m_started = false;   // the readers were started, or tried
    unsigned m_readers = 0;   // started
    unsigned m_running = 0;   // started and not gone yet
    unsigned m_sleeping = 0;  // readers waiting for a wake
    unsigned m_wakes = 0;     // wakes sent and not taken yet: one a reader
    bool m_stop = false;
};
