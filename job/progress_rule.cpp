// ReadChunkWithProgress and the progress rule: every chunk of the engine's
// file loop is counted toward the running job before it is read, and moves
// the job's bar.
#include "digest/chunk_reader.h"

#include "job/job_state.h"
#include "platform/file.h"

CJobState* g_pMainDlg = nullptr;

std::uint32_t ReadChunkWithProgress(void* buffer, std::uint32_t length, CFile& file)
{
    CJobState& job = *g_pMainDlg;
    if (job.StopRequested())
        throw CReadingStopped();

    // Counted before the read, whatever the read then returns.
    job.m_doneBytes += length;
    if (job.m_totalBytes > 0) {
        // The quotient first, then the percentage, then single precision: the
        // bar shows exactly these steps, rounding included.
        const double quotient = static_cast<double>(job.m_doneBytes) / static_cast<double>(job.m_totalBytes);
        const auto percent = static_cast<float>(quotient * 100.0);
        const auto truncated = static_cast<std::int64_t>(percent);
        job.Progress().SetPos(static_cast<int>(static_cast<std::uint32_t>(truncated)));
    }
    return file.Read(buffer, length);
}
