// CReadAhead, and the reader thread that runs it.
#include "platform/read_ahead.h"

#include <new>
#include <utility>

#include "platform/thread.h"

namespace {

// The reader thread: parked until a file is handed to it, then reading that
// file's blocks until the file is done with it.
//
// THREADING: m_lock guards m_started and m_file; the thread is detached and
// runs for the life of the process, as does this object.
class CReaderThread {
public:
    static CReaderThread& Instance()
    {
        // Never destroyed, as its thread may still run at exit; and made in
        // static storage, so that asking for it never fails.
        alignas(CReaderThread) static unsigned char storage[sizeof(CReaderThread)];
        static CReaderThread* const reader = new (storage) CReaderThread;
        return *reader;
    }

    bool Start()
    {
        std::lock_guard<CLock> lock(m_lock);
        return StartLocked();
    }

    // Hands file to the thread, starting it first where need be; false when
    // the thread serves another file or could not be started.
    bool Serve(CReadAhead& file)
    {
        {
            std::lock_guard<CLock> lock(m_lock);
            if (m_file || !StartLocked())
                return false;
            m_file = &file;
        }
        m_changed.NotifyAll();
        return true;
    }

private:
    bool StartLocked()
    {
        if (!m_started)
            m_started = StartThread(&CReaderThread::Run, this);
        return m_started;
    }

    static void Run(void* reader) noexcept { static_cast<CReaderThread*>(reader)->ServeFiles(); }

    void ServeFiles() noexcept
    {
        for (;;) {
            CReadAhead* file = nullptr;
            {
                std::unique_lock<CLock> lock(m_lock);
                m_changed.Wait(lock, [this] { return m_file != nullptr; });
                file = m_file;
            }
            file->ReadBlocks();
            {
                // Free for the next file before this one may go: the next
                // file of a job asks the moment this one is closed.
                std::lock_guard<CLock> lock(m_lock);
                m_file = nullptr;
            }
            file->LetGo();  // the file may be gone once this returns
        }
    }

    CLock m_lock;
    CCondition m_changed;
    bool m_started = false;
    CReadAhead* m_file = nullptr;
};

}  // namespace

bool StartFileReader()
{
    return CReaderThread::Instance().Start();
}

CReadAhead::CReadAhead(ReadFunction read, std::uint32_t blockSize, std::size_t blocks)
    : m_read(std::move(read)), m_blockSize(blockSize), m_ring(blocks)
{
    for (Buffer& block : m_ring)
        block.data.reset(new unsigned char[blockSize]);
}

CReadAhead::~CReadAhead()
{
    std::unique_lock<CLock> lock(m_lock);
    m_stop = true;
    m_changed.NotifyAll();
    m_changed.Wait(lock, [this] { return !m_reading; });
}

bool CReadAhead::Start()
{
    {
        std::lock_guard<CLock> lock(m_lock);
        m_reading = true;
    }
    if (CReaderThread::Instance().Serve(*this))
        return true;
    std::lock_guard<CLock> lock(m_lock);
    m_reading = false;
    return false;
}

CReadAhead::Block CReadAhead::Next()
{
    bool wakeReader = false;
    const Buffer* block = nullptr;
    {
        std::unique_lock<CLock> lock(m_lock);
        m_holding = false;  // its buffer is free for the reader
        if (!m_ended && m_filled == 0) {
            if (m_readerWaiting)
                m_changed.NotifyOne();
            m_consumerWaiting = true;
            m_changed.Wait(lock, [this] { return m_filled > 0; });
            m_consumerWaiting = false;
        }
        if (!m_ended) {
            block = &m_ring[m_head];
            m_head = (m_head + 1) % m_ring.size();
            --m_filled;
            // A failed or empty block is the reader's last.
            m_ended = block->failed || block->size == 0;
            m_failed = block->failed;
            m_holding = !m_ended;
        }
        // A waiting reader is woken once this takes the last block read, to
        // fill every free buffer in one go: under Wine a wake costs the
        // consumer some microseconds, and waking the reader for each block
        // freed cost about 3% of a cached file's time.
        wakeReader = m_readerWaiting && m_filled == 0;
    }
    // Woken once the lock is free: woken under it, the reader would only wake
    // to wait for the lock, and cost a second wake.
    if (wakeReader)
        m_changed.NotifyOne();
    Block next;
    if (m_holding) {
        next.data = block->data.get();
        next.size = block->size;
    }
    next.failed = m_failed;
    return next;
}

void CReadAhead::ReadBlocks() noexcept
{
    for (std::size_t tail = 0;; tail = (tail + 1) % m_ring.size()) {
        {
            std::unique_lock<CLock> lock(m_lock);
            m_readerWaiting = true;
            m_changed.Wait(lock, [this] { return m_stop || m_filled + (m_holding ? 1 : 0) < m_ring.size(); });
            m_readerWaiting = false;
            if (m_stop)
                return;
        }
        // The buffer at tail is free: neither filled nor held.
        Buffer& block = m_ring[tail];
        std::uint32_t size = 0;
        bool failed = true;
        try {
            failed = !m_read(block.data.get(), m_blockSize, size);
        } catch (...) {
        }
        bool wakeConsumer = false;
        {
            std::lock_guard<CLock> lock(m_lock);
            block.size = size;
            block.failed = failed;
            ++m_filled;
            wakeConsumer = m_consumerWaiting;
        }
        if (wakeConsumer)
            m_changed.NotifyOne();  // this object lives until LetGo
        if (failed || size == 0)
            return;
    }
}

void CReadAhead::LetGo() noexcept
{
    std::lock_guard<CLock> lock(m_lock);
    m_reading = false;
    m_changed.NotifyAll();
}
