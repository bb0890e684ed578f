// CReadAhead.
#include "platform/read_ahead.h"

#include <system_error>
#include <utility>

#include "platform/file.h"

CReadAhead::CReadAhead(ReadFunction read, std::uint32_t blockSize, std::size_t blocks)
    : m_read(std::move(read)), m_blockSize(blockSize), m_ring(blocks)
{
    for (Block& block : m_ring)
        block.data.reset(new unsigned char[blockSize]);
}

CReadAhead::~CReadAhead()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool CReadAhead::Start()
{
    try {
        m_thread = std::thread(&CReadAhead::ReadBlocks, this);
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

const unsigned char* CReadAhead::Next(std::uint32_t& size)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_holding) {
        m_holding = false;
        m_changed.notify_all();  // its buffer is free for the reader
    }
    if (!m_ended)
        m_changed.wait(lock, [this] { return m_filled > 0; });
    if (m_ended) {
        if (m_failed)
            throw CFileException();
        size = 0;
        return nullptr;
    }

    const Block& block = m_ring[m_head];
    m_head = (m_head + 1) % m_ring.size();
    --m_filled;
    if (block.failed || block.size == 0) {
        // The reader has stopped after this block.
        m_ended = true;
        m_failed = block.failed;
        if (m_failed)
            throw CFileException();
        size = 0;
        return nullptr;
    }
    m_holding = true;
    size = block.size;
    return block.data.get();
}

void CReadAhead::ReadBlocks()
{
    for (std::size_t tail = 0;; tail = (tail + 1) % m_ring.size()) {
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_changed.wait(lock, [this] { return m_stop || m_filled + (m_holding ? 1 : 0) < m_ring.size(); });
            if (m_stop)
                return;
        }
        // The buffer at tail is free: neither filled nor held.
        Block& block = m_ring[tail];
        bool failed = false;
        std::uint32_t size = 0;
        try {
            size = m_read(block.data.get(), m_blockSize);
        } catch (...) {
            failed = true;
        }
        {
            std::lock_guard<std::mutex> lock(m_lock);
            block.size = size;
            block.failed = failed;
            ++m_filled;
        }
        m_changed.notify_all();
        if (failed || size == 0)
            return;
    }
}
