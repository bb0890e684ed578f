// CReadAhead.
#include "platform/read_ahead.h"

#include <algorithm>
#include <utility>

CReadAhead::CReadAhead(CReadPool& pool, std::uint32_t pieceSize, std::size_t pieces)
    : m_pool(pool), m_pieceSize(pieceSize), m_ring(pieces)
{
    for (Buffer& buffer : m_ring)
        buffer.data.reset(new unsigned char[pieceSize]);
}

CReadAhead::~CReadAhead()
{
    Stop();
    Lock lock(m_pool.Mutex());
    if (!m_inFlight)
        return;
    // Stopped, the read's end wakes the waiter whatever it brings.
    Waiter waiter;
    CReadAhead* self = this;
    Await(lock, waiter, &self, 1, std::chrono::hours(24 * 365));
}

void CReadAhead::Add(ReadFunction read, std::uint64_t length, std::uint32_t tag)
{
    Lock lock(m_pool.Mutex());
    File file;
    file.read = std::move(read);
    file.length = length;
    file.tag = tag;
    m_files.push_back(std::move(file));
    if (length <= m_pieceSize && m_reading + 1 == m_files.size() && PrepareRead()) {
        lock.unlock();
        MakeRead();
        lock.lock();
        ReadMade(lock);
        return;
    }
    AskNext(lock);
}

bool CReadAhead::WantsFile() const
{
    Lock lock(m_pool.Mutex());
    return !m_stopped && m_reading == m_files.size();
}

std::size_t CReadAhead::Files() const
{
    Lock lock(m_pool.Mutex());
    return m_files.size();
}

bool CReadAhead::Ready() const
{
    Lock lock(m_pool.Mutex());
    return ReadyLocked();
}

CReadAhead::Piece CReadAhead::Next()
{
    Lock lock(m_pool.Mutex());
    m_holding = false;
    if (!ReadyLocked()) {
        AskNext(lock);
        if (!m_inFlight) {
            // Nothing to wait for: no file queued, or stopped.
            Piece none;
            none.last = none.failed = true;
            return none;
        }
        Waiter waiter;
        CReadAhead* self = this;
        Await(lock, waiter, &self, 1, std::chrono::hours(24 * 365));
    }
    const Piece piece = m_ring[m_head].piece;
    m_head = (m_head + 1) % m_ring.size();
    --m_filled;
    m_holding = true;
    if (piece.last) {
        m_files.pop_front();
        --m_reading;
    }
    // The reader is asked again once the last piece read is taken, and then
    // fills every free buffer in one go: asked at each piece freed, a reader
    // that sleeps between is woken for each, which cost about 3% of a cached
    // file's time under Wine.
    if (m_filled == 0)
        AskNext(lock);
    return piece;
}

void CReadAhead::Release()
{
    Lock lock(m_pool.Mutex());
    if (!m_holding)
        return;
    m_holding = false;
    if (m_filled == 0)
        AskNext(lock);
}

void CReadAhead::Stop()
{
    Lock lock(m_pool.Mutex());
    m_stopped = true;
    if (m_pool.Withdraw(m_read))
        m_inFlight = false;
}

bool CReadAhead::PrepareRead()
{
    const std::size_t used = m_filled + (m_holding ? 1 : 0) + (m_inFlight ? 1 : 0);
    if (m_stopped || m_inFlight || used == m_ring.size() || m_reading == m_files.size())
        return false;
    File& file = m_files[m_reading];
    Piece& piece = m_ring[m_tail].piece;
    piece = Piece();
    piece.data = m_ring[m_tail].data.get();
    piece.offset = file.asked;
    piece.tag = file.tag;
    piece.last = file.length - std::min(file.asked, file.length) <= m_pieceSize;
    file.asked += m_pieceSize;
    if (piece.last)
        ++m_reading;  // what is asked next is the next file's
    m_makeRead = &file.read;
    m_makeInto = m_ring[m_tail].data.get();
    m_makeCount = m_pieceSize;
    m_inFlight = true;
    return true;
}

void CReadAhead::AskNext(Lock& lock)
{
    if (PrepareRead())
        m_pool.Ask(lock, m_read);
}

void CReadAhead::MakeRead() noexcept
{
    m_got = 0;
    try {
        m_made = (*m_makeRead)(m_makeInto, m_makeCount, m_got);
    } catch (...) {
        m_made = false;
    }
}

void CReadAhead::ReadMade(Lock& lock) noexcept
{
    Piece& piece = m_ring[m_tail].piece;
    // Only a file's last piece may be short: one that ends early found an
    // end where the file's length did not put it.
    const bool becomesReady = m_filled == 0;
    piece.failed = !m_made || m_got > m_makeCount || (!piece.last && m_got != m_makeCount);
    piece.size = piece.failed ? 0 : m_got;
    if (!piece.last && piece.failed) {
        // Its file is read no further.
        piece.last = true;
        ++m_reading;
    }
    m_tail = (m_tail + 1) % m_ring.size();
    ++m_filled;
    m_inFlight = false;
    m_makeRead = nullptr;
    // Once enough are in, later pieces wake nobody: the waiter is on its way.
    if (m_waiter && m_waiter->missing > 0 && (m_stopped || (becomesReady && --m_waiter->missing == 0))) {
        m_waiter->missing = 0;
        m_waiter->condition.NotifyOne();
    }
    // Last: where the pool has no readers the next read is made within, and
    // once it is in the consumer may let this object go.
    AskNext(lock);
}

void CReadAhead::Await(Lock& lock, Waiter& waiter, CReadAhead* const* rings, std::size_t count,
                       std::chrono::milliseconds timeout)
{
    for (std::size_t i = 0; i < count; ++i)
        rings[i]->m_waiter = &waiter;
    waiter.condition.WaitFor(lock, timeout, [&] { return waiter.missing == 0; });
    for (std::size_t i = 0; i < count; ++i)
        rings[i]->m_waiter = nullptr;
}

std::size_t CReadAhead::WaitFor(CReadAhead* const* rings, std::size_t count, std::size_t wanted,
                                std::chrono::milliseconds timeout)
{
    if (count == 0)
        return 0;
    const auto ready = [&] {
        return static_cast<std::size_t>(
            std::count_if(rings, rings + count, [](const CReadAhead* ring) { return ring->ReadyLocked(); }));
    };
    Lock lock(rings[0]->m_pool.Mutex());
    const std::size_t already = ready();
    if (already >= std::min(wanted, count))
        return already;
    Waiter waiter;
    waiter.missing = std::min(wanted, count) - already;
    Await(lock, waiter, rings, count, timeout);
    return ready();
}
