// ReadChunkWithProgress and the progress rule: every chunk of the engine's
// file loop is counted toward the running job before it is read, and moves
// the job's bar.
#include "digest/chunk_reader.h"

#include "job/job_state.h"
#include "job/progress_rule.h"
#include "platform/file.h"

CJobState* g_pMainDlg = nullptr;

int ProgressPosition(std::int64_t done, std::int64_t total)
{
    // The bar shows exactly these steps, rounding included.
    const double quotient = static_cast<double>(done) / static_cast<double>(total);
    const auto percent = static_cast<float>(quotient * 100.0);
    const auto truncated = static_cast<std::int64_t>(percent);
    return static_cast<int>(static_cast<std::uint32_t>(truncated));
}

std::uint32_t ReadChunkWithProgress(void* buffer, std::uint32_t length, CFile& file)
{
    CJobState& job = *g_pMainDlg;
    if (job.StopRequested())
        throw CReadingStopped();

    // Counted before the read, whatever the read then returns.
    job.m_doneBytes += length;
    if (job.m_totalBytes > 0)
        job.Progress().SetPos(ProgressPosition(job.m_doneBytes, job.m_totalBytes));
    return file.Read(buffer, length);
}
