// DigestsAsBatch and RunBatch.
#include "job/batch.h"

#include <atomic>
#include <set>
#include <string>

#include "job/batch_state.h"
#include "job/lane_worker.h"
#include "platform/read_pool.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "platform/volume.h"

namespace {

std::atomic<bool> g_batchesAllowed{true};

// Readers of the batch's own for its opens, closes and the size pass's
// looks, apart from those that read the pieces: a call waits for Wine's
// server, which serves one at a time, and on the readers of the pieces the
// calls left the lanes waiting for pieces (a cached drop of 1,000 files of
// 1 MiB took a fifth longer). With two, and the opener making queued calls
// itself, the calls went as fast as from threads of their own.
constexpr unsigned kCallReaders = 2;

// The batch and the threads that help the job's own. The job's thread waits
// here until every helper has let go of the batch.
//
// THREADING: running is guarded by lock; calls and state guard themselves.
struct Batch {
    Batch(CJobState& job, const CFileList& files, unsigned laneWorkers)
        : calls(kCallReaders), state(job, files, laneWorkers, laneWorkers * CLaneWorker::Lanes(), calls)
    {
    }

    CReadPool calls;
    CBatchState state;
    CLock lock;
    CCondition done;
    unsigned running = 0;
};

void Leave(Batch& batch)
{
    std::lock_guard<CLock> lock(batch.lock);
    --batch.running;
    batch.done.NotifyAll();  // batch may be gone once the lock is free
}

// A lane worker's run. A failure ends the batch: without the line of the
// file that failed, no later line may be shown.
void RunLanes(void* argument) noexcept
{
    Batch& batch = *static_cast<Batch*>(argument);
    try {
        CLaneWorker(batch.state, CReadPool::Shared()).Run();
    } catch (...) {
        batch.state.Fail();
    }
    batch.state.LaneWorkerDone();
    Leave(batch);
}

bool Start(Batch& batch, ThreadRoutine routine)
{
    std::lock_guard<CLock> lock(batch.lock);
    if (!StartThread(routine, &batch))
        return false;
    ++batch.running;
    return true;
}

}  // namespace

void AllowBatches(bool allowed)
{
    g_batchesAllowed = allowed;
}

bool DigestsAsBatch(const CFileList& files)
{
    if (files.GetCount() < 2 || !g_batchesAllowed)
        return false;
    std::set<std::string> asked;
    for (std::uint32_t i = 0; i < files.GetCount(); ++i) {
        const std::string drive = DriveOf(files.GetAt(i));
        if (asked.insert(drive).second && DriveHasSeekPenalty(drive))
            return false;
    }
    return true;
}

bool RunBatch(CJobState& job, const CFileList& files)
{
    const unsigned laneWorkers = ProcessorsForThreads();
    Batch batch(job, files, laneWorkers);
    unsigned started = 0;
    while (started < laneWorkers && Start(batch, &RunLanes))
        ++started;
    if (started == 0)
        return false;
    for (; started < laneWorkers; ++started)
        batch.state.LaneWorkerDone();  // those that could not start

    // This thread has the files measured, opened and closed.
    batch.state.RunOpener();
    std::unique_lock<CLock> lock(batch.lock);
    batch.done.Wait(lock, [&] { return batch.running == 0; });
    return true;
}
