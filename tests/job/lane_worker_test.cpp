// CLaneWorker: while some lanes wait for slow reads the worker sleeps and the
// others fold, and a batch that ends begins no further read.
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "job/batch_state.h"
#include "job/lane_worker.h"
#include "support/recording_job.h"
#include "support/test_files.h"

#ifndef _WIN32
#include <ctime>
#endif

namespace {

using namespace std::chrono_literals;

// Files of this length read slowly from 128 KiB on: their reads wait while
// the gate is shut. Files of other lengths read at once.
constexpr std::uint64_t kSlowLength = (1 << 20) + 1;
std::atomic<bool> g_shut{false};
std::atomic<int> g_held{0};
std::atomic<int> g_readsBegun{0};

bool SlowFault(std::uint64_t offset, std::uint64_t length)
{
    ++g_readsBegun;
    if (length == kSlowLength && offset >= (128 << 10)) {
        ++g_held;
        while (g_shut)
            std::this_thread::sleep_for(1ms);
        --g_held;
    }
    return false;
}

// One lane worker over the files, the opener on a thread beside it, as a
// batch runs them.
class LaneWorkerTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_shut = true;
        g_held = 0;
        CFile::SetReadFault(&SlowFault);
    }
    void TearDown() override
    {
        g_shut = false;
        CFile::SetReadFault(nullptr);
    }

    void Start(int slow, std::size_t fastLength)
    {
        for (int i = 0; i < slow; ++i)
            m_job.m_files.Append(m_dir.Write("slow" + std::to_string(i), PatternBytes(kSlowLength)));
        m_job.m_files.Append(m_dir.Write("fast", PatternBytes(fastLength)));
        m_batch = std::make_unique<CBatchState>(m_job, m_job.m_files, 1, CLaneWorker::Lanes(), CReadPool::Shared());
        m_opener = std::thread([this] { m_batch->RunOpener(); });
        m_lanes = std::thread([this] {
            CLaneWorker(*m_batch, CReadPool::Shared()).Run();
            m_batch->LaneWorkerDone();
        });
    }
    void Join()
    {
        m_lanes.join();
        m_opener.join();
    }

    RecordingJob m_job;
    TempDir m_dir;
    std::unique_ptr<CBatchState> m_batch;
    std::thread m_opener, m_lanes;
};

#ifndef _WIN32
std::chrono::nanoseconds ProcessorTime()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// A lane that holds blocks, whose next piece is in, beside lanes that wait:
// the worker folds it and then waits, rather than asking again and again.
TEST_F(LaneWorkerTest, WhileReadsAreSlowTheWorkerFoldsWhatIsInAndSleeps)
{
    Start(3, 8 << 20);
    ASSERT_TRUE(WaitFor([] { return g_held == 3; }, 10s));
    const auto before = ProcessorTime();
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(ProcessorTime() - before, 60ms);
    g_shut = false;
    Join();
    std::string lines;
    for (int i = 0; i < 3; ++i)
        lines += Line("slow" + std::to_string(i), Md5Hex(PatternBytes(kSlowLength)));
    EXPECT_EQ(m_job.LastText(), lines + Line("fast", Md5Hex(PatternBytes(8 << 20))));
}
#endif

TEST_F(LaneWorkerTest, ABatchThatEndsBeginsNoFurtherRead)
{
    Start(8, 1 << 20);
    ASSERT_TRUE(WaitFor([] { return g_held > 0; }, 10s));
    m_batch->Fail();
    std::this_thread::sleep_for(100ms);  // the worker sees it and stops its lanes
    const int begun = g_readsBegun;
    g_shut = false;
    Join();
    EXPECT_EQ(g_readsBegun, begun);
    EXPECT_EQ(m_job.LastText(), "") << "no line after the end";
}

}  // namespace
