// CReadAhead: the blocks of one file, read on the process's reader thread
// while the caller works on the block before.
//
// Reading and digesting then overlap: a file that is not in the system's
// cache yet takes about the longer of the two times, not their sum. A few
// blocks are read ahead, so that one slow read is absorbed by the blocks
// already there.
//
// The reader thread is started once, on first need or by StartFileReader, and
// then serves one file after another for the life of the process: under Wine
// a thread takes about a millisecond to start and a MiB of memory to run, more
// than reading a file of a few blocks costs.
//
// THREADING: Next is called on one thread, the consumer's; the reads run on
// the reader thread. At most one of the two waits on m_changed at a time (the
// reader for a free buffer, the consumer for a filled one), so one wake
// suffices; stopping wakes all. m_lock guards the ring's bookkeeping; m_ended and
// m_failed are the consumer's alone, written under m_lock. A buffer belongs to
// the reader from the moment it is free until it is filled, and to the
// consumer from the Next that hands it out until the following Next.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/sync.h"

class CReadAhead {
public:
    // Reads the next up to count bytes of the file into buffer and sets got to
    // how many, 0 at its end; false when reading fails. Called on the reader
    // thread only.
    using ReadFunction = std::function<bool(unsigned char* buffer, std::uint32_t count, std::uint32_t& got)>;

    // blocks buffers of blockSize bytes each (blocks >= 2).
    CReadAhead(ReadFunction read, std::uint32_t blockSize, std::size_t blocks);
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;
    // Stops reading: waits for a read in flight to return and for the reader
    // thread to let go of this file.
    ~CReadAhead();

    // Hands the file to the reader thread; false when the thread serves
    // another file or could not be started.
    bool Start();

    // The next block of the file, its bytes valid until the next call: size 0
    // at the end of the file, and on every call after it; failed (and no
    // bytes) when its read failed, and on every call after it.
    struct Block {
        const unsigned char* data = nullptr;
        std::uint32_t size = 0;
        bool failed = false;
    };
    Block Next();

    // Run by the reader thread: reads blocks until the end of the file, a
    // failure or a stop; then lets go of the file, its last touch of it.
    void ReadBlocks() noexcept;
    void LetGo() noexcept;

private:
    struct Buffer {
        std::unique_ptr<unsigned char[]> data;
        std::uint32_t size = 0;
        bool failed = false;
    };

    const ReadFunction m_read;
    const std::uint32_t m_blockSize;
    std::vector<Buffer> m_ring;

    CLock m_lock;
    CCondition m_changed;
    std::size_t m_head = 0;    // the next block to hand out
    std::size_t m_filled = 0;  // blocks read and not handed out yet, from m_head on
    bool m_holding = false;    // the consumer holds the block before m_head
    bool m_stop = false;       // the reader is to read no more
    bool m_reading = false;    // the reader thread works for this object
    bool m_readerWaiting = false;    // for a free buffer
    bool m_consumerWaiting = false;  // for a filled block
    // The consumer's own: it has had the end of the file or its failure.
    bool m_ended = false;
    bool m_failed = false;
};

// Starts the reader thread now, so that no file waits for it; false when it
// could not be started (files are then read in turn, as they are asked for).
bool StartFileReader();
