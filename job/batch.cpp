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

// The batch and the threads that help the job's own. The job's thread waits
// here until every helper has let go of the batch.
//
// THREADING: running is guarded by lock; state guards itself.
struct Batch {
    Batch(CJobState& job, const CFileList& files, unsigned laneWorkers)
        : state(job, files, laneWorkers, laneWorkers * CLaneWorker::Lanes())
    {
    }

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

void RunSizePass(void* argument) noexcept
{
    Batch& batch = *static_cast<Batch*>(argument);
    batch.state.MeasureAll();
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

    // This thread opens and closes the files; the size pass, which mostly
    // waits for the system too, runs beside it, or before it where it cannot.
    if (!Start(batch, &RunSizePass))
        batch.state.MeasureAll();
    batch.state.RunOpener();
    std::unique_lock<CLock> lock(batch.lock);
    batch.done.Wait(lock, [&] { return batch.running == 0; });
    return true;
}
