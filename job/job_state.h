// CJobState: what a digest job shares with the window that starts it: the
// paths of the next job, the two byte counters of the running job, and where
// the running job reports. The main dialog is one; the tests have their own.
//
// THREADING RULES
// - m_files belongs to the thread that starts jobs (the UI thread). A job
//   runs on its own copy, taken when it is started (CJobQueue), which shares
//   the paths until m_files changes.
// - m_totalBytes, m_doneBytes and the two sinks belong to the running job:
//   only its threads touch them while it runs, and jobs never overlap.
// - StopRequested may be asked on any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/sinks.h"

// The ordered paths of a job; a path may stand twice. Copies share their
// paths until one of them changes, which then takes a copy of its own: a
// job's copy of the dialog's list costs neither time nor a second list.
//
// THREADING: the paths shared by copies never change, so copies may be read
// on several threads at once. A list changes on the thread that made its
// copies, and only there.
class CFileList {
public:
    CFileList() = default;
    CFileList(const CFileList& other) : m_paths(other.m_paths), m_shared(true) { other.m_shared = true; }
    CFileList& operator=(const CFileList& other)
    {
        m_paths = other.m_paths;
        m_shared = other.m_shared = true;
        return *this;
    }
    CFileList(CFileList&&) = default;
    CFileList& operator=(CFileList&&) = default;

    void Append(std::string path) { Own().push_back(std::move(path)); }
    void Clear()
    {
        m_paths.reset();
        m_shared = false;
    }
    std::uint32_t GetCount() const { return m_paths ? static_cast<std::uint32_t>(m_paths->size()) : 0; }
    const std::string& GetAt(std::uint32_t index) const { return (*m_paths)[index]; }

private:
    // The paths, this list's own, to change.
    std::vector<std::string>& Own();

    std::shared_ptr<std::vector<std::string>> m_paths;  // null: none
    mutable bool m_shared = false;  // a copy may hold m_paths too
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
