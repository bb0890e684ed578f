// CBatchLines: what a batch shows the user, as one stream would: one line per
// path in list order (a line that is ready early waits for those before it),
// and the bar, which moves once the size pass has the whole total and never
// goes back, though the threads' counts come in any order.
//
// THREADING: none of its own; CBatchState calls it under its lock. The job's
// counters and sinks are touched only here.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "digest/file_digest.h"
#include "job/job_state.h"

class CBatchLines {
public:
    CBatchLines(CJobState& job, const CFileList& files);

    // The line of the file at index, shown with those before it once they
    // are all in.
    void Line(std::uint32_t index, const FileDigest& digest);
    // Bytes counted toward the job before they are read.
    void Count(std::uint64_t bytes);
    // A file's length for the total; once every file has one, the bar
    // follows the counts.
    void Measured(std::uint64_t length);

private:
    void ShowPosition();

    CJobState& m_job;
    const CFileList& m_files;
    const std::uint32_t m_count;
    std::uint32_t m_measured = 0;   // files whose length is in the total
    std::map<std::uint32_t, std::string> m_waiting;  // lines that wait for those before them
    std::uint32_t m_next = 0;       // the next line to show
    int m_shown = -1;               // the last position shown
};
