// CJobState: the state of the digest jobs, shared by the start commands (UI
// thread), the worker thread and the engine's chunk reader.
//
// Jobs run one at a time, in the order in which they were started, each on its
// own copy of the file list. One worker thread runs a job, then the job that
// waits behind it, if any; a start makes a thread only when none is at work.
// At most one job waits, holding nothing but its list: a newer job with a path
// takes its place (its first line would replace the waiting job's lines
// anyway), a job with no path never takes the place of one that has. The
// running job is never dropped.
//
// THREADING RULES
// - m_files belongs to the thread that starts jobs (the UI thread). StartJob
//   copies it; no worker ever reads it.
// - m_totalBytes, m_doneBytes and the two sinks belong to the running job: only
//   the worker thread touches them while it runs, and jobs never overlap.
// - Everything else is guarded by m_lock.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/sinks.h"
#include "platform/thread.h"

// The ordered paths of a job. Holds its own copies; a path may stand twice.
class CFileList {
public:
    void Append(const std::string& path) { m_paths.push_back(path); }
    void Clear() { m_paths.clear(); }
    std::uint32_t GetCount() const { return static_cast<std::uint32_t>(m_paths.size()); }
    const std::string& GetAt(std::uint32_t index) const { return m_paths[index]; }

private:
    std::vector<std::string> m_paths;
};

class CJobState {
public:
    // Sets g_pMainDlg to the new object.
    CJobState(IProgressSink& progress, IResultSink& result);
    CJobState(const CJobState&) = delete;
    CJobState& operator=(const CJobState&) = delete;

    // Starts a job on a copy of m_files as it stands now: at once on a new
    // thread when no job runs, else after the running one (see above). Returns
    // false when the thread or the copy could not be made; the job is then
    // forgotten.
    bool StartJob();

    // The running job stops at its next chunk and writes no line for the file
    // it was reading; the waiting job is dropped.
    void StopJobs();

    // Waits up to timeout for the worker to have no job left. Returns true
    // when it has none; the state no longer touches the job's sinks then.
    bool WaitForJobs(std::chrono::milliseconds timeout);

    // Closing: stops the jobs as StopJobs does and returns once the worker has
    // let go of the state and the sinks. Jobs post what they hand the window
    // and never wait for its thread, so that thread may simply wait here.
    void EndJobs();

    // Asked by the running job's chunk reader and worker.
    bool StopRequested() const { return m_stopRequested.load(std::memory_order_acquire); }

    CFileList m_files;
    std::int64_t m_totalBytes = 0;  // length of the running job's files that opened
    std::int64_t m_doneBytes = 0;   // bytes its chunk reader has asked for so far
    IProgressSink& m_progressSink;
    IResultSink& m_resultSink;

    // How jobs get their threads; tests put a failing starter here.
    bool (*m_startThread)(ThreadRoutine routine, void* argument) = &StartThread;

protected:
    // Ends the jobs (EndJobs). An owner whose members are the sinks must end
    // them itself, before its members go. Not virtual: the job state is a base of its owner and never deleted
    // through a pointer to it. Having no virtual function also keeps the
    // chunk reader, which sees only this class's layout, free of its type
    // information.
    ~CJobState();

private:
    static void RunJobs(void* state);
    // Makes the waiting job the running one. False when none waits: the
    // worker is then done, and this was its last touch of the state.
    bool TakeWaitingJob();

    std::mutex m_lock;
    std::condition_variable m_idle;      // signalled when the worker is done
    std::optional<CFileList> m_waiting;  // the job whose turn comes next
    bool m_working = false;              // a worker thread runs jobs
    // The running job's list: written under m_lock, by StartJob while no
    // worker is at work and by the worker itself; read by the worker alone.
    CFileList m_running;
    std::atomic<bool> m_stopRequested{false};
};

// The main dialog's job state: set by its constructor, never cleared. The chunk
// reader reaches the running job through it.
extern CJobState* g_pMainDlg;
