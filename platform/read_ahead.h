// CReadAhead: the blocks of one file, read on a thread of its own while the
// caller works on the block before.
//
// Reading and digesting then overlap: a file that is not in the system's
// cache yet takes about the longer of the two times, not their sum. A few
// blocks are read ahead, so that one slow read is absorbed by the blocks
// already there.
//
// THREADING: Next is called on one thread, the consumer's; the reads run on
// the reader thread. m_lock guards the ring's bookkeeping. A buffer belongs to
// the reader from the moment it is free until it is filled, and to the
// consumer from the Next that hands it out until the following Next.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CReadAhead {
public:
    // Reads the next up to count bytes of the file into buffer; returns how
    // many, 0 at its end. Throws CFileException when reading fails. Called on
    // the reader thread only.
    using ReadFunction = std::function<std::uint32_t(unsigned char* buffer, std::uint32_t count)>;

    // blocks buffers of blockSize bytes each (blocks >= 2).
    CReadAhead(ReadFunction read, std::uint32_t blockSize, std::size_t blocks);
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;
    // Stops reading: waits for a read in flight to return, then for the thread.
    ~CReadAhead();

    // Starts the reader thread; false when none could be started.
    bool Start();

    // The next block of the file, valid until the next call; size 0 at the end
    // of the file, and on every call after it. Throws CFileException when its
    // read failed, and on every call after it.
    const unsigned char* Next(std::uint32_t& size);

private:
    struct Block {
        std::unique_ptr<unsigned char[]> data;
        std::uint32_t size = 0;
        bool failed = false;
    };

    void ReadBlocks();

    const ReadFunction m_read;
    const std::uint32_t m_blockSize;
    std::vector<Block> m_ring;

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::size_t m_head = 0;    // the next block to hand out
    std::size_t m_filled = 0;  // blocks read and not handed out yet, from m_head on
    bool m_holding = false;    // the consumer holds the block before m_head
    bool m_ended = false;      // the consumer has had the end of the file or its failure
    bool m_failed = false;     // that was a failure
    bool m_stop = false;       // the reader is to read no more
    std::thread m_thread;
};
