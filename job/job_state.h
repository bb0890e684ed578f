// CJobState: the state of the digest jobs, shared by the start commands (UI
// thread), the worker threads and the engine's chunk reader.
//
// Jobs run one at a time, in the order in which they were started, each on its
// own copy of the file list. A job started while another runs waits for it.
//
// THREADING RULES
// - m_files belongs to the thread that starts jobs (the UI thread). StartJob
//   copies it; no worker ever reads it.
// - m_totalBytes, m_doneBytes and the two sinks belong to the running job: only
//   its worker thread touches them while it runs, and jobs never overlap.
// - Everything else is guarded by m_lock.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
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

    // Starts a job on a copy of m_files as it stands now. Returns false when no
    // thread could be started; the job is then forgotten.
    bool StartJob();

    // The running job stops at its next chunk and writes no line for the file
    // it was reading; jobs waiting for their turn are dropped.
    void StopJobs();

    // Waits up to timeout for every worker thread to end. Returns true when
    // none is left.
    bool WaitForJobs(std::chrono::milliseconds timeout);

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
    // Stops the jobs and waits for their threads (without handling messages:
    // a window that owns the sinks must wait itself, see WaitForJobs).
    // Not virtual: the job state is a base of its owner and never deleted
    // through a pointer to it. Having no virtual function also keeps the
    // chunk reader, which sees only this class's layout, free of its type
    // information.
    ~CJobState();

private:
    struct Job;
    static std::uint32_t RunJob(void* job);
    bool WaitForTurn(Job& job);
    void EndTurn();

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Job*> m_waiting;  // started, not yet running, in start order
    bool m_running = false;      // a job holds the turn
    int m_workers = 0;           // threads started and not yet finished
    std::atomic<bool> m_stopRequested{false};
};

// The main dialog's job state: set by its constructor, never cleared. The chunk
// reader reaches the running job through it.
extern CJobState* g_pMainDlg;
