// CJobQueue: the digest jobs of one job state, run one at a time in the order
// in which they were started, each on its own copy of the file list.
//
// One worker thread runs a job, then the job that waits behind it, if any; a
// start makes a thread only when none is at work. At most one job waits,
// holding nothing but its list: a newer job with a path takes its place (its
// first line would replace the waiting job's lines anyway), a job with no path
// never takes the place of one that has. The running job is never dropped.
//
// The queue is its owner's last member, so that it is destroyed first: its
// destructor is where the jobs end, before anything that they use goes.
//
// THREADING: Start, Stop, WaitIdle and the destructor are called on the
// thread that starts jobs; StopRequested on any thread. Everything else is
// guarded by m_lock.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>

#include "job/job_state.h"
#include "platform/sync.h"
#include "platform/thread.h"

class CJobQueue {
public:
    explicit CJobQueue(CJobState& state);
    CJobQueue(const CJobQueue&) = delete;
    CJobQueue& operator=(const CJobQueue&) = delete;
    // Ends the jobs: stops them (Stop) and waits up to kEndWait for the worker
    // to let go of the job state, asking the system on the way to cancel the
    // opens and reads under way (CFile::CancelBlockedCalls). A worker still
    // inside a read then (a dead share, a dying drive) may touch the state
    // whenever that read returns, so nothing may be freed: the process ends
    // here, with kBlockedExitStatus.
    ~CJobQueue();

    // Starts a job on a copy of the state's m_files as it stands now: at once
    // on a new thread when no job runs, else after the running one (see
    // above). Returns false when the thread or the copy could not be made;
    // the job is then forgotten.
    bool Start();

    // The running job stops at its next chunk and writes no line for the file
    // it was reading; the waiting job is dropped. Returns at once.
    void Stop();

    // Waits up to timeout for the worker to have no job left. True when it has
    // none: nothing of the queue then touches the job state.
    bool WaitIdle(std::chrono::milliseconds timeout);

    // Whether the running job has been asked to stop.
    bool StopRequested() const { return m_stopRequested.load(std::memory_order_acquire); }

    // How jobs get their threads (StartThread); tests put failing starters
    // here. A starter that throws counts as one that failed.
    using ThreadStarter = bool (*)(ThreadRoutine routine, void* argument);
    void SetThreadStarter(ThreadStarter starter) { m_startThread = starter; }

    static constexpr std::chrono::milliseconds kEndWait{250};
    static constexpr int kBlockedExitStatus = 3;

private:
    static void RunJobs(void* queue) noexcept;
    // Makes the waiting job the running one. False when none waits: the
    // worker is then done, and this was its last touch of the queue.
    bool TakeWaitingJob();

    CJobState& m_state;
    ThreadStarter m_startThread = &StartThread;

    CLock m_lock;
    CCondition m_idle;                   // signalled when the worker is done
    std::optional<CFileList> m_waiting;  // the job whose turn comes next
    bool m_working = false;              // a worker thread runs jobs
    // The running job's list: written under m_lock, by Start while no worker
    // is at work and by the worker itself; read by the worker alone.
    CFileList m_running;
    std::atomic<bool> m_stopRequested{false};
};
