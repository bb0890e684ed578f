// CJobState: what a digest job shares with the window that starts it: the
// paths of the next job, the two byte counters of the running job, and where
// the running job reports. The main dialog is one; the tests have their own.
//
// THREADING RULES
// - m_files belongs to the thread that starts jobs (the UI thread). A job
//   runs on its own copy, taken when it is started (CJobQueue).
// - m_totalBytes, m_doneBytes and the two sinks belong to the running job:
//   only its threads touch them while it runs, and jobs never overlap.
// - StopRequested may be asked on any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sinks.h"

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
    CJobState() = default;
    CJobState(const CJobState&) = delete;
    CJobState& operator=(const CJobState&) = delete;
    virtual ~CJobState() = default;

    // The running job's progress bar and result box.
    virtual IProgressSink& Progress() = 0;
    virtual IResultSink& Results() = 0;
    // Whether the running job is to stop: asked before every chunk it reads.
    virtual bool StopRequested() const = 0;

    CFileList m_files;
    std::int64_t m_totalBytes = 0;  // length of the running job's files that opened
    std::int64_t m_doneBytes = 0;   // bytes its chunk reader has asked for so far
};

// The main dialog: set by its constructor, never cleared. The chunk reader
// reaches the running job through it.
extern CJobState* g_pMainDlg;
