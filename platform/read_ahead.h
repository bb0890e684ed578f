// CReadAhead: the pieces of files, one file after another, read ahead by the
// readers (CReadPool) into a few buffers of its own and handed out in order.
//
// One file read whole (CFile's reads) and a lane of a batch (a file, then the
// next) are its two uses: while the caller works on one piece, the next are
// read. One read of a CReadAhead is in flight at a time, so its pieces come in
// order; a batch keeps several in flight with one CReadAhead a lane. For one
// file the kernel's own read-ahead (the file is opened for sequential
// reading) keeps its next requests in flight; more reads of our own would
// each need a reader, a MiB of memory under Wine.
//
// A piece is whole but for its file's last, which ends where the file's
// length puts the end. A read that fails is its file's last piece: its file
// is read no further, and the next file's pieces follow.
//
// THREADING: one thread, the consumer, calls every member but WaitFor, which
// waits for several of them at once. The reads run on the readers; the state
// they share with the consumer is guarded by the pool's lock. A buffer
// belongs to the reads from the moment it is free until it is filled, and to
// the consumer from the Next that hands it out until its Release.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/read_pool.h"

class CReadAhead {
public:
    // Reads a file's next count bytes into buffer, where the read before it
    // ended, and sets got to how many: count, fewer only where the file ends.
    // A read that reaches the file's end makes sure that it is there. False
    // when reading fails. Runs on a reader, or on the consumer's thread (Add).
    using ReadFunction = std::function<bool(unsigned char* buffer, std::uint32_t count, std::uint32_t& got)>;

    // pieces buffers of pieceSize bytes each (pieces >= 2). Throws
    // std::bad_alloc when they cannot be had.
    CReadAhead(CReadPool& pool, std::uint32_t pieceSize, std::size_t pieces);
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;
    // Stops, and waits for the read in flight: it writes into a buffer of
    // this object.
    ~CReadAhead();

    // Queues a file of length bytes behind those added before; its pieces
    // carry tag. A file of one piece whose turn it is already is read here,
    // at once: that costs less than a reader's wake, so that a batch of
    // small files wakes no reader. Throws std::bad_alloc (nothing queued).
    void Add(ReadFunction read, std::uint64_t length, std::uint32_t tag);
    // Whether every file added has its last read asked: the time to add the
    // next, so that its first piece is read while the last one is worked on.
    bool WantsFile() const;
    // Files added and not wholly handed out.
    std::size_t Files() const;

    struct Piece {
        const unsigned char* data = nullptr;
        std::uint32_t size = 0;
        std::uint64_t offset = 0;  // of its first byte in its file
        std::uint32_t tag = 0;     // its file's
        bool last = false;         // its file's last piece (a failed one too)
        bool failed = false;       // its read failed: no bytes
    };
    // Whether the next piece is in: Next then does not wait.
    bool Ready() const;
    // The next piece, once it is in (files must be queued). It is the
    // caller's until Release, or until the next call of Next.
    Piece Next();
    // Gives the piece handed out back, to be read into again.
    void Release();

    // No further read begins; returns at once. The read in flight ends on
    // its own; the destructor waits for it.
    void Stop();

    // Waits, at most timeout, until wanted of the count at rings are Ready
    // (all of them, where there are fewer); how many are.
    static std::size_t WaitFor(CReadAhead* const* rings, std::size_t count, std::size_t wanted,
                               std::chrono::milliseconds timeout);

private:
    using Lock = CReadPool::Lock;

    struct File {
        ReadFunction read;
        std::uint64_t length = 0;
        std::uint32_t tag = 0;
        std::uint64_t asked = 0;  // bytes asked for so far
    };
    struct Buffer {
        std::unique_ptr<unsigned char[]> data;
        Piece piece;  // what it holds, once filled
    };

    // The one read of this object, made by a reader.
    class PieceRead : public CReadPool::Read {
    public:
        explicit PieceRead(CReadAhead& owner) : m_owner(owner) {}

    private:
        void Make() noexcept override { m_owner.MakeRead(); }
        void Made(Lock& lock) noexcept override { m_owner.ReadMade(lock); }
        CReadAhead& m_owner;
    };

    // Under the lock: asks for the next read where a buffer is free, nothing
    // is in flight and a file has bytes left.
    void AskNext(Lock& lock);
    // Sets up the read into the buffer at m_tail; false when there is none to
    // make.
    bool PrepareRead();
    void MakeRead() noexcept;
    void ReadMade(Lock& lock) noexcept;
    bool ReadyLocked() const { return m_filled > 0; }

    // A thread that waits for pieces: woken once missing of them are in, so
    // that a wait for several costs one wake, not one a piece.
    struct Waiter {
        CCondition condition;
        std::size_t missing = 1;
    };
    // Waits, with the lock held, until waiter.missing is 0 or timeout has
    // passed, as waiter of the count at rings.
    static void Await(Lock& lock, Waiter& waiter, CReadAhead* const* rings, std::size_t count,
                      std::chrono::milliseconds timeout);

    CReadPool& m_pool;
    const std::uint32_t m_pieceSize;
    std::vector<Buffer> m_ring;
    PieceRead m_read{*this};

    // Under the pool's lock.
    std::deque<File> m_files;  // files not wholly handed out; the front is handed out first
    std::size_t m_reading = 0; // the index in m_files of the file to ask a read of next
    std::size_t m_head = 0;    // the next buffer to hand out
    std::size_t m_tail = 0;    // the next buffer to fill
    std::size_t m_filled = 0;  // buffers filled and not handed out, from m_head on
    bool m_holding = false;    // the consumer holds the buffer before m_head
    bool m_inFlight = false;   // the read is asked or being made
    bool m_stopped = false;
    Waiter* m_waiter = nullptr;  // the thread that waits for a piece, or for the read in flight

    // The read being made: set up under the lock, made without it.
    ReadFunction* m_makeRead = nullptr;
    unsigned char* m_makeInto = nullptr;
    std::uint32_t m_makeCount = 0;
    std::uint32_t m_got = 0;
    bool m_made = false;
};
