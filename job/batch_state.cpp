// CBatchState.
#include "job/batch_state.h"

#include <new>
#include <utility>

#include "platform/volume.h"

CBatchState::CBatchState(CJobState& job, const CFileList& files, unsigned laneWorkers, std::size_t lanes,
                         CReadPool& readers)
    : m_job(job), m_readers(readers), m_files(files), m_count(files.GetCount()), m_ahead(lanes), m_lines(job, files),
      m_isMeasured(m_count), m_lanesRunning(laneWorkers)
{
    for (std::size_t i = 0; i < kCalls; ++i)
        m_calls.push_back(std::make_unique<CBatchCall>(static_cast<CBatchCall::IOwner&>(*this)));
}

template <typename Ready>
void CBatchState::WaitTurn(Lock& lock, Role role, Ready ready)
{
    Waiting& waiting = m_waiting[role];
    ++waiting.threads;
    waiting.condition.WaitFor(lock, kStopCheck, ready);
    --waiting.threads;
}

template <typename Ready>
bool CBatchState::WaitUntil(Lock& lock, Role role, Ready ready)
{
    // The stop is the job's flag, not a change of this state: looked at in
    // turns.
    while (!ready() && !EndingLocked())
        WaitTurn(lock, role, ready);
    return ready();
}

void CBatchState::Wake(Role role, bool one)
{
    if (role == kOpener)
        m_openerWoken = true;
    Waiting& waiting = m_waiting[role];
    if (waiting.threads == 0)
        return;
    if (one)
        waiting.condition.NotifyOne();
    else
        waiting.condition.NotifyAll();
}

void CBatchState::WakeAll()
{
    for (int role = 0; role < kRoles; ++role)
        Wake(static_cast<Role>(role));
}

void CBatchState::RunOpener()
{
    Lock lock(m_lock);
    for (;;) {
        m_openerWoken = false;
        if (EndingLocked()) {
            // Nothing more is opened; what is open is closed once the lanes
            // have let go of it.
            for (Item& item : m_ready)
                m_handedBack.push_back(std::move(item));
            m_ready.clear();
            for (CBatchCall* call : m_retries)
                Drop(*call);
            m_retries.clear();
        }
        if (OpenerDone())
            return;
        bool asked = false;
        for (const std::unique_ptr<CBatchCall>& call : m_calls) {
            if (call->kind == CBatchCall::Kind::None ? !NextCall(*call) : !Retry(*call))
                continue;
            ++m_pending;
            lock.unlock();
            {
                CReadPool::Lock readers(m_readers.Mutex());
                m_readers.Ask(readers, *call);
            }
            lock.lock();
            asked = true;
        }
        if (asked)
            continue;
        // Rather than wait for the readers, the opener makes a call that is
        // still queued itself: from a local disk a call costs less than the
        // switches of threads that a reader's turn costs.
        bool made = false;
        lock.unlock();
        {
            CReadPool::Lock readers(m_readers.Mutex());
            for (std::size_t i = 0; i < m_calls.size() && !made; ++i)
                made = m_readers.MakeNow(readers, *m_calls[i]);
        }
        lock.lock();
        if (!made)
            WaitTurn(lock, kOpener, [this] { return m_openerWoken; });
    }
}

bool CBatchState::OpenerDone() const
{
    if (m_pending > 0 || !m_handedBack.empty())
        return false;
    if (EndingLocked())
        return m_lanesRunning == 0;
    return m_next == m_count && m_inFlight == 0 && m_measured == m_count && m_retries.empty();
}

bool CBatchState::NextCall(CBatchCall& call)
{
    if (!m_handedBack.empty()) {
        Item item = std::move(m_handedBack.back());
        m_handedBack.pop_back();
        call.Close(std::move(item.file));
        call.key = std::move(item.key);
        return true;
    }
    // While a file waits to be tried again, none opens.
    if (EndingLocked() || !m_retries.empty())
        return false;
    return NextMeasure(call) || NextOpen(call);
}

bool CBatchState::Retry(CBatchCall& call)
{
    // Held, maybe by a file of ours under another spelling: again once no
    // file of the batch is open.
    if (m_retries.empty() || &call != m_retries.front() || m_open > 0 || m_pending > 0 || EndingLocked())
        return false;
    m_retries.pop_front();
    call.retried = true;
    call.Again();
    ++m_open;
    m_measuring += call.kind == CBatchCall::Kind::Measure ? 1 : 0;
    return true;
}

const std::string& CBatchState::KeyOf(std::uint32_t index)
{
    // Asked whenever a file may be taken next: made once a file.
    if (m_keyOf != index) {
        m_key = PathKey(PathAt(index));
        m_keyOf = index;
    }
    return m_key;
}

bool CBatchState::NextMeasure(CBatchCall& call)
{
    // Half the calls at most, so that opens go on beside.
    if (m_nextMeasure == m_count || m_measuring >= kCalls / 2 || m_open >= kMostOpen ||
        m_keys.count(KeyOf(m_nextMeasure)) > 0)
        return false;
    call.Measure(m_nextMeasure, PathAt(m_nextMeasure));
    Claim(call, m_nextMeasure);
    ++m_nextMeasure;
    ++m_measuring;
    return true;
}

bool CBatchState::NextOpen(CBatchCall& call)
{
    // A path listed before whose file is still open waits: in turn.
    if (m_next == m_count || m_next >= m_measured || m_ready.size() + m_opening >= m_ahead ||
        m_open >= kMostOpen || m_keys.count(KeyOf(m_next)) > 0)
        return false;
    const std::uint32_t index = m_next;
    if (index + 1 == m_count && m_inFlight == 0 && m_open == 0) {
        // The last file, and no other is open: it goes the one stream's way,
        // read ahead, each chunk through the chunk reader.
        m_keys.insert(KeyOf(index));
        ++m_next;
        ++m_inFlight;
        m_ready.push_back(Item{index, nullptr, 0, KeyOf(index)});
        Wake(kLanes);  // the last file: also the list's end for the others
        return false;
    }
    call.Open(index, PathAt(index));
    Claim(call, index);
    ++m_next;
    ++m_inFlight;
    ++m_opening;
    return true;
}

void CBatchState::Claim(CBatchCall& call, std::uint32_t index)
{
    call.key = KeyOf(index);
    call.retried = false;
    m_keys.insert(call.key);
    ++m_open;
}

void CBatchState::CallMade(CBatchCall& call, CReadPool::Lock& readers) noexcept
{
    Lock lock(m_lock);
    Finish(call);
    try {
        // The reader goes on with the next call, if there is one: no thread
        // is woken for it.
        if (call.kind == CBatchCall::Kind::None && NextCall(call)) {
            ++m_pending;
            lock.unlock();
            m_readers.Ask(readers, call);
            return;
        }
    } catch (const std::bad_alloc&) {
        m_failed = true;
    }
    Wake(kOpener, true);
}

bool CBatchState::Held(CBatchCall& call)
{
    if (call.failure.openError != FileOpenError::Locked || m_open == 0 || call.retried || EndingLocked())
        return false;
    m_retries.push_back(&call);
    return true;
}

void CBatchState::Drop(CBatchCall& call)
{
    // A file that waited to be tried again, at the batch's end: no line.
    m_keys.erase(call.key);
    if (call.kind == CBatchCall::Kind::Open) {
        --m_opening;
        --m_inFlight;
    }
    call.kind = CBatchCall::Kind::None;
    call.file.reset();
}

void CBatchState::Finish(CBatchCall& call)
{
    --m_pending;
    switch (call.kind) {
    case CBatchCall::Kind::Measure:
        --m_measuring;
        --m_open;
        if (Held(call))
            return;
        m_keys.erase(call.key);
        if (!EndingLocked()) {
            m_lines.Measured(call.length);
            m_isMeasured[call.index] = true;
            while (m_measured < m_count && m_isMeasured[m_measured])
                ++m_measured;
        }
        break;
    case CBatchCall::Kind::Open:
        if (call.file->IsOpen()) {
            --m_opening;
            m_ready.push_back(Item{call.index, std::move(call.file), call.length, std::move(call.key)});
            Wake(kLanes, m_next < m_count);  // with the last, the list's end for the others
            break;
        }
        --m_open;
        if (Held(call))
            return;
        --m_opening;
        m_keys.erase(call.key);
        if (m_next == m_count)
            Wake(kLanes);  // the list's end
        Line(call.index, call.failure);
        break;
    case CBatchCall::Kind::Close:
        --m_open;
        m_keys.erase(call.key);
        break;
    case CBatchCall::Kind::None:
        break;
    }
    call.kind = CBatchCall::Kind::None;
    call.file.reset();
}

CBatchState::Take CBatchState::Next(Item& item, bool wait)
{
    Lock lock(m_lock);
    const auto answered = [this] { return !m_ready.empty() || (m_next == m_count && m_opening == 0); };
    if (!answered() && !EndingLocked()) {
        if (!wait)
            return Take::Wait;
        WaitUntil(lock, kLanes, answered);
    }
    if (EndingLocked() || m_ready.empty())
        return Take::Done;
    if (m_ready.size() + m_opening == m_ahead)
        Wake(kOpener);  // room to open into
    item = std::move(m_ready.front());
    m_ready.pop_front();
    return item.file ? Take::File : Take::Alone;
}

void CBatchState::HandBack(Item item)
{
    // An open file's key goes with its close; an Alone file was never open here.
    if (item.file)
        m_handedBack.push_back(std::move(item));
    else
        m_keys.erase(item.key);
    Wake(kOpener);
}

void CBatchState::Finished(Item item, const FileDigest& digest)
{
    Lock lock(m_lock);
    const std::uint32_t index = item.index;
    HandBack(std::move(item));
    Line(index, digest);
}

void CBatchState::Dropped(Item item)
{
    Lock lock(m_lock);
    HandBack(std::move(item));
    --m_inFlight;
}

void CBatchState::Line(std::uint32_t index, const FileDigest& digest)
{
    // The opener learns of it with the file handed back, or opened it itself.
    --m_inFlight;
    if (!EndingLocked())
        m_lines.Line(index, digest);
}

void CBatchState::LaneWorkerDone()
{
    Lock lock(m_lock);
    // Without lanes nobody would take the files left: the batch ends.
    if (--m_lanesRunning == 0 && (m_inFlight > 0 || m_next < m_count))
        m_failed = true;
    WakeAll();
}

void CBatchState::Count(std::uint64_t bytes)
{
    Lock lock(m_lock);
    m_lines.Count(bytes);
}

bool CBatchState::Ending() const
{
    Lock lock(m_lock);
    return EndingLocked();
}

bool CBatchState::EndingLocked() const
{
    return m_failed || m_job.StopRequested();
}

void CBatchState::Fail()
{
    Lock lock(m_lock);
    m_failed = true;
    WakeAll();
}
