// CJobQueue: job order, stopping and waiting.
#include "job/job_queue.h"

#include <new>

#include "job/worker.h"
#include "platform/file.h"
#include "platform/process.h"

CJobQueue::CJobQueue(CJobState& state) : m_state(state) {}

CJobQueue::~CJobQueue()
{
    Stop();
    // A worker that reads on stops at its next chunk; one stuck in a call of
    // the system is asked to give it up, where the system can.
    if (WaitIdle(kEndWait / 5))
        return;
    CFile::CancelBlockedCalls();
    if (!WaitIdle(kEndWait - kEndWait / 5))
        EndProcessNow(kBlockedExitStatus);
}

bool CJobQueue::Start()
{
    std::optional<CFileList> files;
    try {
        files = m_state.m_files;
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::lock_guard<CLock> lock(m_lock);
    if (m_working) {
        // Its lines would replace the waiting job's; an empty job's would not.
        if (files->GetCount() > 0 || !m_waiting || m_waiting->GetCount() == 0)
            m_waiting = std::move(files);
        return true;
    }
    m_running = std::move(*files);
    m_working = true;
    m_stopRequested.store(false, std::memory_order_release);
    bool started = false;
    try {
        started = m_startThread(&CJobQueue::RunJobs, this);
    } catch (...) {
    }
    if (started)
        return true;
    m_running = CFileList();
    m_working = false;
    return false;
}

void CJobQueue::Stop()
{
    std::lock_guard<CLock> lock(m_lock);
    m_waiting.reset();
    if (m_working)
        m_stopRequested.store(true, std::memory_order_release);
}

bool CJobQueue::WaitIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock<CLock> lock(m_lock);
    return m_idle.WaitFor(lock, timeout, [this] { return !m_working; });
}

bool CJobQueue::TakeWaitingJob()
{
    std::lock_guard<CLock> lock(m_lock);
    if (!m_waiting) {
        m_running = CFileList();
        // Once m_working is false the queue and the state may be destroyed.
        m_working = false;
        m_idle.NotifyAll();
        return false;
    }
    m_running = std::move(*m_waiting);
    m_waiting.reset();
    m_stopRequested.store(false, std::memory_order_release);
    return true;
}

void CJobQueue::RunJobs(void* queue) noexcept
{
    CJobQueue& jobs = *static_cast<CJobQueue*>(queue);
    do {
        try {
            DigestWorker(&jobs.m_state, jobs.m_running);
        } catch (...) {
            // Out of memory for the result text: this job ends, the next may run.
        }
    } while (jobs.TakeWaitingJob());
}
