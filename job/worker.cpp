// DigestWorker: the size pass and the digest pass, one file after another, or
// as a batch.
#include "job/worker.h"

#include "digest/file_digest.h"
#include "job/batch.h"
#include "job/file_line.h"
#include "job/job_state.h"

std::uint32_t DigestWorker(CJobState* dialog, const CFileList& files)
{
    if (!dialog)
        return 0xFFFFFFFF;
    CJobState& job = *dialog;

    job.m_totalBytes = 0;
    job.m_doneBytes = 0;
    job.Progress().SetPos(0);
    if (DigestsAsBatch(files) && RunBatch(job, files))
        return 1;

    for (std::uint32_t i = 0; i < files.GetCount(); ++i) {
        if (job.StopRequested())
            return 1;
        job.m_totalBytes += LengthForTotal(files.GetAt(i));
    }

    // The result text so far is kept by the sink, which shows it whole.
    for (std::uint32_t j = 0; j < files.GetCount(); ++j) {
        if (job.StopRequested())
            return 1;
        const std::string& path = files.GetAt(j);
        const FileDigest digest = ComputeFileDigest(path.c_str());
        if (digest.readEnd == FileReadEnd::Stopped)
            return 1;  // the file was cut short: no line for it
        job.Results().AddResultLines(ResultLine(path, digest), j == 0, j + 1 == files.GetCount());
    }
    return 1;
}
