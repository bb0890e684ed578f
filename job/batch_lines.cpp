// CBatchLines.
#include "job/batch_lines.h"

#include "job/file_line.h"
#include "job/progress_rule.h"

CBatchLines::CBatchLines(CJobState& job, const CFileList& files)
    : m_job(job), m_files(files), m_count(files.GetCount())
{
}

void CBatchLines::Line(std::uint32_t index, const FileDigest& digest)
{
    m_waiting.emplace(index, ResultLine(m_files.GetAt(index), digest));
    const bool starts = m_next == 0;
    std::string ready;
    for (auto next = m_waiting.find(m_next); next != m_waiting.end(); next = m_waiting.find(m_next)) {
        ready += next->second;
        m_waiting.erase(next);
        ++m_next;
    }
    // The lines that came together go to the window as one.
    if (!ready.empty())
        m_job.Results().AddResultLines(ready, starts, m_next == m_count);
}

void CBatchLines::Count(std::uint64_t bytes)
{
    m_job.m_doneBytes += static_cast<std::int64_t>(bytes);
    if (m_measured == m_count)
        ShowPosition();
}

void CBatchLines::Measured(std::uint64_t length)
{
    m_job.m_totalBytes += static_cast<std::int64_t>(length);
    if (++m_measured == m_count)
        ShowPosition();  // the lanes have counted already; the bar follows from here
}

void CBatchLines::ShowPosition()
{
    if (m_job.m_totalBytes <= 0 || m_job.m_doneBytes == 0)
        return;
    // Positions only grow with the bytes counted; the bar shows only the
    // latest and largest.
    const int position = ProgressPosition(m_job.m_doneBytes, m_job.m_totalBytes);
    if (position > m_shown) {
        m_shown = position;
        m_job.Progress().SetPos(position);
    }
}
