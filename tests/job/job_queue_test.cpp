// Job order: jobs run one at a time in start order, each on the list as it
// stood at its start, and at most one waits; stopping, dropping and waiting.
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "job/batch.h"
#include "platform/file.h"
#include "support/recording_job.h"
#include "support/slow_fs.h"
#include "support/test_files.h"

namespace {

using namespace std::chrono_literals;

class JobOrder : public testing::Test {
protected:
    void TearDown() override { AllowBatches(true); }

    // Holds the first job at its first position until release opens.
    void HoldFirstJob()
    {
        job.onPosition = [this](int) {
            if (!m_held.exchange(true))
                release.Wait();
        };
    }

    RecordingJob job;
    TempDir dir;
    Gate release;

private:
    std::atomic<bool> m_held{false};
};

bool FailToStart(ThreadRoutine, void*)
{
    return false;
}

bool ThrowOnStart(ThreadRoutine, void*)
{
    throw std::bad_alloc();
}

TEST_F(JobOrder, AJobStartedWhileOneRunsWaitsOnItsOwnListAndNoThreadAndTheNewestWithAPathWins)
{
    const std::string a = dir.Write("a", "a");
    const std::string b = dir.Write("b", "b");
    const std::string c = dir.Write("c", "c");
    HoldFirstJob();

    job.m_files.Append(a);
    ASSERT_TRUE(job.jobs.Start());
    release.AwaitArrival();  // the first job is running
    job.jobs.SetThreadStarter(&FailToStart);  // waiting takes none
    job.m_files.Append(b);
    ASSERT_TRUE(job.jobs.Start());
    job.m_files.Clear();
    job.m_files.Append(c);
    ASSERT_TRUE(job.jobs.Start());  // takes the place of the waiting job
    job.m_files.Clear();
    ASSERT_TRUE(job.jobs.Start());  // no path: takes no place
    job.m_files.Append(a);  // changes after a start touch no job
    EXPECT_FALSE(job.jobs.WaitIdle(50ms)) << "the first job is held, another waits";
    release.Open();
    ASSERT_TRUE(job.jobs.WaitIdle(10s));

    const std::string lineA = Line("a", Md5Hex("a"));
    const std::string lineC = Line("c", Md5Hex("c"));
    EXPECT_EQ(job.Texts(), (std::vector<std::string>{lineA, lineC}));
    // Each job reset the bar before its own positions: two jobs, two zeros.
    const auto positions = job.Positions();
    EXPECT_EQ(std::count(positions.begin(), positions.end(), 0), 2);
}

TEST_F(JobOrder, StopEndsTheRunningJobAtItsNextChunkAndDropsTheWaitingOnes)
{
    const std::string small = dir.Write("small", "s");
    const std::string big = dir.Write("big", PatternBytes(1 << 20));
    // Hold the job at its first chunk of the big file, after the small file's
    // line: one file after another, as a batch may read the big file's chunks
    // before the small file's line is out.
    AllowBatches(false);
    job.onPosition = [&](int) {
        if (!job.Texts().empty())
            release.Wait();
    };
    job.m_files.Append(small);
    job.m_files.Append(big);
    ASSERT_TRUE(job.jobs.Start());
    job.m_files.Clear();
    job.m_files.Append(small);
    ASSERT_TRUE(job.jobs.Start());  // waits for the first

    release.AwaitArrival();
    job.jobs.Stop();
    release.Open();
    ASSERT_TRUE(job.jobs.WaitIdle(10s));

    EXPECT_EQ(job.Texts(), std::vector<std::string>{Line("small", Md5Hex("s"))})
        << "no line for the file cut short, none from the dropped job";
    EXPECT_EQ(job.Marks(), std::vector<std::string>{"s"}) << "a stopped job never says it is complete";
    EXPECT_LT(job.m_doneBytes, 1 << 20) << "the big file was not read to its end";
}

TEST_F(JobOrder, AJobRunsOnAThreadOfItsOwnAndAnEarlierStopDoesNotTouchIt)
{
    std::thread::id jobThread;
    job.onText = [&](const std::string&) { jobThread = std::this_thread::get_id(); };
    job.jobs.Stop();  // with no job running: nothing to stop, now or later
    job.m_files.Append(dir.Write("a", "a"));
    ASSERT_TRUE(job.jobs.Start());
    ASSERT_TRUE(job.jobs.WaitIdle(10s));
    EXPECT_EQ(job.LastText(), Line("a", Md5Hex("a")));
    EXPECT_NE(jobThread, std::thread::id());
    EXPECT_NE(jobThread, std::this_thread::get_id()) << "Start returns at once; the job runs elsewhere";
}

class FailedStart : public JobOrder, public testing::WithParamInterface<CJobQueue::ThreadStarter> {};

TEST_P(FailedStart, LeavesNothingWaitingAndTheListAsItWas)
{
    const std::string a = dir.Write("a", "a");
    job.m_files.Append(a);
    job.jobs.SetThreadStarter(GetParam());
    EXPECT_FALSE(job.jobs.Start());
    EXPECT_TRUE(job.jobs.WaitIdle(0ms));
    EXPECT_EQ(job.m_files.GetCount(), 1u);

    job.jobs.SetThreadStarter(&StartThread);
    ASSERT_TRUE(job.jobs.Start());
    ASSERT_TRUE(job.jobs.WaitIdle(10s)) << "the failed start must not block later jobs";
    EXPECT_EQ(job.LastText(), Line("a", Md5Hex("a")));
}

INSTANTIATE_TEST_SUITE_P(JobOrder, FailedStart, testing::Values(&FailToStart, &ThrowOnStart));

// Starts job threads that say when their routine has returned: after the
// worker's last touch of the queue and the state.
std::atomic<bool> g_routineReturned{false};

bool StartWatchedThread(ThreadRoutine routine, void* argument)
{
    struct Call {
        ThreadRoutine routine;
        void* argument;
    };
    static Call call;
    call = {routine, argument};
    return StartThread(
        [](void*) noexcept {
            call.routine(call.argument);
            g_routineReturned = true;
        },
        nullptr);
}

TEST(JobQueue, DestructionStopsTheJobsAndWaitsForTheWorkersLastTouch)
{
    TempDir dir;
    const std::string big = dir.Write("big", PatternBytes(4 << 20));
    auto calls = std::make_shared<std::atomic<int>>(0);
    auto job = std::make_unique<RecordingJob>();
    job->jobs.SetThreadStarter(&StartWatchedThread);
    job->onPosition = [calls](int) { ++*calls; };
    for (int i = 0; i < 5; ++i) {
        job->m_files.Append(big);
        ASSERT_TRUE(job->jobs.Start());
    }
    job.reset();  // must not return while a worker still uses the job

    const int atDestruction = calls->load();
    ASSERT_TRUE(WaitFor([] { return g_routineReturned.load(); }, 10s));
    EXPECT_EQ(calls->load(), atDestruction) << "a worker outlived its job state";
    EXPECT_LT(atDestruction, 5 * 4096) << "the jobs were stopped, not run to their end";
}

// A read that never returns, as on a dead share: ending the jobs waits its
// bound, then ends the process without freeing what the reading thread may
// still touch. One file is read by the job's own reader, a batch's by the
// batch's readers.
std::atomic<bool> g_readBlocked{false};

class JobQueueDeathTest : public testing::TestWithParam<int> {};

TEST_P(JobQueueDeathTest, EndingWithAReadThatNeverReturnsEndsTheProcessAfterItsBound)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < GetParam(); ++i)
        paths.push_back(dir.Write("big" + std::to_string(i), PatternBytes(1 << 20)));
    EXPECT_EXIT(
        {
            CFile::SetReadFault([](std::uint64_t, std::uint64_t) {
                g_readBlocked = true;
                for (;;)
                    std::this_thread::sleep_for(1h);
                return true;
            });
            auto job = std::make_unique<RecordingJob>();
            for (const std::string& path : paths)
                job->m_files.Append(path);
            job->jobs.Start();
            WaitFor([] { return g_readBlocked.load(); }, 10s);
            job.reset();
            std::_Exit(0);  // not reached: the reading thread is still inside its read
        },
        testing::ExitedWithCode(CJobQueue::kBlockedExitStatus), "");
}

INSTANTIATE_TEST_SUITE_P(OneFileAndABatch, JobQueueDeathTest, testing::Values(1, 3));

#ifndef _WIN32
// The same for an open that never returns, as on a share that went away: a
// batch's opens are in flight on its readers, one file's is the job's own.
// Natively only: under Wine the dead open would stall every Wine program.
class ShareFsDeathTest : public testing::TestWithParam<int> {};

TEST_P(ShareFsDeathTest, EndingWithAnOpenThatNeverReturnsEndsTheProcessAfterItsBound)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::vector<std::string> paths{ShareFsWrite("stuck-" + std::to_string(GetParam()) + kShareFsDeadSuffix, "x")};
    if (paths.front().empty())
        GTEST_SKIP() << ShareFsMissing();
    for (int i = 1; i < GetParam(); ++i)
        paths.push_back(ShareFsWrite("beside-stuck-" + std::to_string(i), PatternBytes(5000)));
    EXPECT_EXIT(
        {
            auto job = std::make_unique<RecordingJob>();
            for (const std::string& path : paths)
                job->m_files.Append(path);
            job->jobs.Start();
            std::this_thread::sleep_for(300ms);  // the first open is under way
            job.reset();
            std::_Exit(0);  // not reached: a thread is still inside the open
        },
        testing::ExitedWithCode(CJobQueue::kBlockedExitStatus), "");
}

INSTANTIATE_TEST_SUITE_P(ShareFsOneFileAndABatch, ShareFsDeathTest, testing::Values(1, 4));
#endif

}  // namespace
