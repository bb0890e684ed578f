// CJobState: job order, stopping and waiting.
#include "job/job_state.h"

#include <new>

#include "job/worker.h"

CJobState::CJobState(IProgressSink& progress, IResultSink& result)
    : m_progressSink(progress), m_resultSink(result)
{
    g_pMainDlg = this;
}

CJobState::~CJobState()
{
    EndJobs();
}

bool CJobState::StartJob()
{
    std::optional<CFileList> files;
    try {
        files = m_files;
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_working) {
        // Its lines would replace the waiting job's; an empty job's would not.
        if (files->GetCount() > 0 || !m_waiting || m_waiting->GetCount() == 0)
            m_waiting = std::move(files);
        return true;
    }
    m_running = std::move(*files);
    m_working = true;
    m_stopRequested.store(false, std::memory_order_release);
    if (m_startThread(&CJobState::RunJobs, this))
        return true;
    m_running = CFileList();
    m_working = false;
    return false;
}

void CJobState::StopJobs()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_waiting.reset();
    if (m_working)
        m_stopRequested.store(true, std::memory_order_release);
}

void CJobState::EndJobs()
{
    StopJobs();
    std::unique_lock<std::mutex> lock(m_lock);
    m_idle.wait(lock, [this] { return !m_working; });
}

bool CJobState::WaitForJobs(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_idle.wait_for(lock, timeout, [this] { return !m_working; });
}

bool CJobState::TakeWaitingJob()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_waiting) {
        m_running = CFileList();
        // Once m_working is false the state may be destroyed.
        m_working = false;
        m_idle.notify_all();
        return false;
    }
    m_running = std::move(*m_waiting);
    m_waiting.reset();
    m_stopRequested.store(false, std::memory_order_release);
    return true;
}

void CJobState::RunJobs(void* state)
{
    CJobState& jobs = *static_cast<CJobState*>(state);
    do {
        try {
            DigestWorker(&jobs, jobs.m_running);
        } catch (...) {
            // Out of memory for the result text: this job ends, the next may run.
        }
    } while (jobs.TakeWaitingJob());
}
