// CJobState: job order, stopping and waiting.
#include "job/job_state.h"

#include <memory>
#include <new>

#include "job/worker.h"

struct CJobState::Job {
    CJobState* state;
    CFileList files;
    bool dropped = false;  // guarded by state->m_lock
};

CJobState::CJobState(IProgressSink& progress, IResultSink& result)
    : m_progressSink(progress), m_resultSink(result)
{
    g_pMainDlg = this;
}

CJobState::~CJobState()
{
    StopJobs();
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait(lock, [this] { return m_workers == 0; });
}

bool CJobState::StartJob()
{
    auto* job = new (std::nothrow) Job{this, m_files};
    if (!job)
        return false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_waiting.push_back(job);
        ++m_workers;
    }
    if (m_startThread(&CJobState::RunJob, job))
        return true;

    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (auto it = m_waiting.begin(); it != m_waiting.end(); ++it) {
            if (*it == job) {
                m_waiting.erase(it);
                break;
            }
        }
        --m_workers;
    }
    m_changed.notify_all();  // the next job may have waited behind this one
    delete job;
    return false;
}

void CJobState::StopJobs()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (Job* job : m_waiting)
            job->dropped = true;
        m_waiting.clear();
        if (m_running)
            m_stopRequested.store(true, std::memory_order_release);
    }
    m_changed.notify_all();
}

bool CJobState::WaitForJobs(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, timeout, [this] { return m_workers == 0; });
}

bool CJobState::WaitForTurn(Job& job)
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait(lock, [&] { return job.dropped || (!m_running && m_waiting.front() == &job); });
    if (job.dropped)
        return false;
    m_waiting.pop_front();
    m_running = true;
    m_stopRequested.store(false, std::memory_order_release);
    return true;
}

void CJobState::EndTurn()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_running = false;
}

std::uint32_t CJobState::RunJob(void* argument)
{
    std::unique_ptr<Job> job(static_cast<Job*>(argument));
    CJobState& state = *job->state;
    std::uint32_t exitCode = 0;
    if (state.WaitForTurn(*job)) {
        try {
            exitCode = DigestWorker(&state, job->files);
        } catch (...) {
            // Out of memory for the result text: the job ends, the thread too.
        }
        state.EndTurn();
    }
    job.reset();
    // The last touch of the state: once m_workers reaches 0 it may be destroyed.
    std::lock_guard<std::mutex> lock(state.m_lock);
    --state.m_workers;
    state.m_changed.notify_all();
    return exitCode;
}
