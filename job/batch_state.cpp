// CBatchState.
#include "job/batch_state.h"

#include <utility>

#include "job/file_line.h"
#include "job/progress_rule.h"
#include "platform/volume.h"

CBatchState::CBatchState(CJobState& job, const CFileList& files, unsigned laneWorkers, std::size_t lanes)
    : m_job(job), m_files(files), m_count(files.GetCount()), m_ahead(lanes), m_lanesRunning(laneWorkers)
{
}

template <typename Ready>
bool CBatchState::WaitTurn(Lock& lock, Role role, Ready ready)
{
    Waiting& waiting = m_waiting[role];
    ++waiting.threads;
    const bool done = waiting.condition.WaitFor(lock, kStopCheck, ready);
    --waiting.threads;
    return done;
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

void CBatchState::MeasureAll()
{
    for (std::uint32_t i = 0; i < m_count; ++i) {
        const std::string key = PathKey(PathAt(i));
        {
            Lock lock(m_lock);
            if (!WaitUntil(lock, kSizePass, [&] { return m_keys.count(key) == 0; }))
                return;
            m_keys.insert(key);
            ++m_open;  // as the opener's opens are, so that one held by it tries again
        }
        FileOpenError error = FileOpenError::None;
        std::int64_t length = LengthForTotal(PathAt(i), &error);
        Lock lock(m_lock);
        --m_open;
        if (error == FileOpenError::Locked && m_open > 0) {
            // Held, maybe by a file of ours under another spelling: again once
            // no file of the batch is open, and none opens meanwhile.
            ++m_retrying;
            const bool alone = WaitUntil(lock, kSizePass, [this] { return m_open == 0; });
            lock.unlock();
            length = alone ? LengthForTotal(PathAt(i)) : 0;
            lock.lock();
            --m_retrying;
        }
        m_keys.erase(key);
        m_job.m_totalBytes += length;
        m_measured = i + 1;
        if (m_measured == m_count)
            ShowPosition();  // the lanes have counted already; the bar follows from here
        Wake(kOpener);  // a file to open, its key free, its open closed
        if (EndingLocked())
            return;
    }
}

void CBatchState::RunOpener()
{
    Lock lock(m_lock);
    for (;;) {
        bool worked = CloseHandedBack(lock);
        if (EndingLocked()) {
            // Nothing more is opened; what is open is closed once the lanes
            // have let go of it.
            for (Item& item : m_ready)
                m_handedBack.push_back(std::move(item));
            m_ready.clear();
            if (m_lanesRunning == 0 && m_handedBack.empty() && m_opening == 0)
                return;
        } else {
            if (m_next == m_count && m_inFlight == 0 && m_handedBack.empty())
                return;
            worked = OpenNext(lock) || worked;
        }
        if (!worked) {
            WaitTurn(lock, kOpener, [this] {
                if (!m_handedBack.empty())
                    return true;
                if (EndingLocked())
                    return m_lanesRunning == 0;
                return OpenableLocked() || (m_next == m_count && m_inFlight == 0);
            });
        }
    }
}

bool CBatchState::CloseHandedBack(Lock& lock)
{
    if (m_handedBack.empty())
        return false;
    std::vector<Item> closing;
    closing.swap(m_handedBack);
    lock.unlock();
    for (Item& item : closing) {
        if (item.file)
            item.file->Close();
    }
    lock.lock();
    for (const Item& item : closing) {
        if (item.file)
            --m_open;
        m_keys.erase(item.key);
    }
    Wake(kSizePass);  // the opener itself closes: only the size pass may wait for a key or a close
    return true;
}

const std::string& CBatchState::NextKeyLocked()
{
    // Asked whenever the opener looks whether it may open: made once a file.
    if (m_nextKeyOf != m_next) {
        m_nextKey = PathKey(PathAt(m_next));
        m_nextKeyOf = m_next;
    }
    return m_nextKey;
}

bool CBatchState::OpenableLocked()
{
    // A path listed before whose file is still open waits: in turn.
    return m_next < m_count && m_next < m_measured && m_ready.size() < m_ahead && m_retrying == 0 &&
           m_keys.count(NextKeyLocked()) == 0;
}

bool CBatchState::OpenNext(Lock& lock)
{
    if (!OpenableLocked())
        return false;
    const std::uint32_t index = m_next;
    const std::string key = NextKeyLocked();
    m_keys.insert(key);
    ++m_next;
    ++m_inFlight;
    if (index + 1 == m_count && m_inFlight == 1 && m_open == 0) {
        // The last file, and no other is open: it goes the one stream's way,
        // read ahead, each chunk through the chunk reader.
        m_ready.push_back(Item{index, nullptr, 0, key});
        Wake(kLanes);  // the last file: also the list's end for the others
        return true;
    }
    ++m_opening;
    ++m_open;
    bool retried = false;
    for (;;) {
        lock.unlock();
        FileDigest failure;
        auto file = std::make_unique<CFile>();
        std::uint64_t length = 0;
        // Whether it is a disk file is asked before its first read, by the
        // thread that makes it.
        if (file->OpenUnchecked(PathAt(index).c_str(), &failure.openError)) {
            try {
                // The length the reads are held to; under Wine also the
                // system's first look at the new handle, a round trip of its
                // own that the lane then does not wait for.
                length = file->GetLength();
            } catch (const CFileException&) {
                if (file->CheckIsFile(&failure.openError))
                    failure.readEnd = FileReadEnd::Failed;
                file->Close();
            }
        }
        lock.lock();
        if (file->IsOpen()) {
            --m_opening;
            m_ready.push_back(Item{index, std::move(file), length, key});
            Wake(kLanes, m_next < m_count);  // with the last, the list's end for the others
            return true;
        }
        --m_open;
        if (!retried && failure.openError == FileOpenError::Locked && m_open > 0) {
            // Held, maybe by a file of ours under another spelling: again once
            // every other file of the batch is closed. This thread closes
            // them, so it closes them while it waits.
            retried = true;
            ++m_retrying;
            while (m_open > 0 && !EndingLocked()) {
                if (!CloseHandedBack(lock))
                    WaitTurn(lock, kOpener, [this] { return !m_handedBack.empty() || m_open == 0; });
            }
            --m_retrying;
            ++m_open;
            continue;
        }
        --m_opening;
        m_keys.erase(key);
        Wake(kSizePass);
        if (m_next == m_count)
            Wake(kLanes);  // the list's end
        Line(lock, index, failure);
        return true;
    }
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
    if (m_ready.size() == m_ahead)
        Wake(kOpener);  // room to open into
    item = std::move(m_ready.front());
    m_ready.pop_front();
    return item.file ? Take::File : Take::Alone;
}

void CBatchState::HandBack(Item item)
{
    // An open file's key goes with its close; an Alone file was never open here.
    if (item.file) {
        m_handedBack.push_back(std::move(item));
    } else {
        m_keys.erase(item.key);
        Wake(kSizePass);
    }
    Wake(kOpener);
}

void CBatchState::Finished(Item item, const FileDigest& digest)
{
    Lock lock(m_lock);
    const std::uint32_t index = item.index;
    HandBack(std::move(item));
    Line(lock, index, digest);
}

void CBatchState::Dropped(Item item)
{
    Lock lock(m_lock);
    HandBack(std::move(item));
    --m_inFlight;
}

void CBatchState::Line(Lock&, std::uint32_t index, const FileDigest& digest)
{
    // The opener learns of it with the file handed back, or opened it itself.
    --m_inFlight;
    if (EndingLocked())
        return;
    m_lines.emplace(index, ResultLine(PathAt(index), digest));
    const bool starts = m_nextLine == 0;
    std::string ready;
    for (auto next = m_lines.find(m_nextLine); next != m_lines.end(); next = m_lines.find(m_nextLine)) {
        ready += next->second;
        m_lines.erase(next);
        ++m_nextLine;
    }
    // The lines that came together go to the window as one.
    if (!ready.empty())
        m_job.Results().AddResultLines(ready, starts, m_nextLine == m_count);
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
    m_job.m_doneBytes += static_cast<std::int64_t>(bytes);
    if (m_measured == m_count)
        ShowPosition();
}

void CBatchState::ShowPosition()
{
    if (m_job.m_totalBytes <= 0 || m_job.m_doneBytes == 0)
        return;
    // Positions only grow with the bytes counted; the threads' counts may
    // come in any order, but the bar shows only the latest and largest.
    const int position = ProgressPosition(m_job.m_doneBytes, m_job.m_totalBytes);
    if (position > m_shown) {
        m_shown = position;
        m_job.Progress().SetPos(position);
    }
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
