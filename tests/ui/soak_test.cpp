// Long runs through the real dialog: files past 4 GiB in the 32-bit program,
// and a thousand jobs back to back that must leave the process's handles,
// threads and memory where they were.
#include <windows.h>

#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_driver.h"
#include "process_figures.h"

namespace {

// --- Files past 4 GiB ---------------------------------------------------------

struct HugeFile {
    std::uint64_t size;
    const char* digest;
};

// Digests of that many zero bytes, computed once with
//   head -c 4294967297 /dev/zero | md5sum
//   head -c 5368709120 /dev/zero | md5sum
const HugeFile kHugeFiles[] = {
    {(std::uint64_t{4} << 30) + 1, "f18c798ff5d450dfe4d3acdc12b621ff"},
    {std::uint64_t{5} << 30, "ec4bcc8776ea04479b786e063a9ace45"},
};

// The suite's name begins with Long where the framework puts it, before the
// slash: "LongSizes/HugeFiles...".
class HugeFiles : public MainDialogTest, public testing::WithParamInterface<HugeFile> {};

TEST_P(HugeFiles, AFilePast4GiBGivesItsDigestItsWholeLengthAndAFullBar)
{
    // Sparse: all zeros, and no disk space.
    const std::string path = dir.WriteSparse("huge.bin", GetParam().size);
    const auto start = std::chrono::steady_clock::now();
    Drop({path});
    ASSERT_TRUE(dialog.Jobs().WaitIdle(std::chrono::minutes(20)));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(WaitForResult(Line("huge.bin", GetParam().digest))) << ResultText();
    EXPECT_EQ(static_cast<std::uint64_t>(dialog.m_totalBytes), GetParam().size);
    EXPECT_EQ(BarPosition(), 100);
    std::cout << "[ figures  ] " << GetParam().size << " bytes digested in "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms" << std::endl;
}

INSTANTIATE_TEST_SUITE_P(LongSizes, HugeFiles, testing::ValuesIn(kHugeFiles),
                         [](const testing::TestParamInfo<HugeFile>& param) {
                             return std::to_string(param.param.size) + "Bytes";
                         });

// --- A thousand jobs ------------------------------------------------------------

// One kind of input and the line it gives.
struct SoakInput {
    std::string path;
    std::string line;
};

class LongSoak : public MainDialogTest {
protected:
    std::vector<SoakInput> MakeInputs()
    {
        std::vector<SoakInput> inputs;
        const auto file = [&](const std::string& name, const std::string& content) {
            inputs.push_back({dir.Write(name, content), Line(name, Md5Hex(content))});
        };
        file("empty.bin", "");
        file("one.bin", "1");
        file("kib.bin", PatternBytes(1024));
        file("64kib.bin", PatternBytes(64 << 10));
        file("mib.bin", PatternBytes(1 << 20));
        inputs.push_back({dir.PathOf("missing.bin"), Line("missing.bin", L"找不到文件")});
        inputs.push_back({dir.MakeDir("folder"), Line("folder", L"不是文件")});
        return inputs;
    }

    // Runs job number k: a drop of one input, or (every third job) OK with
    // another typed after it, which the list then holds behind the dropped
    // one. Waits for the job and checks the box.
    void RunJob(int k, const std::vector<SoakInput>& inputs, std::vector<const SoakInput*>& list)
    {
        const SoakInput& input = inputs[static_cast<size_t>(k) % inputs.size()];
        if (k % 3 == 2) {
            SubmitPath(input.path);
            list.push_back(&input);
        } else {
            Drop({input.path});
            list.assign(1, &input);
        }
        std::string expected;
        for (const SoakInput* listed : list)
            expected += listed->line;
        ASSERT_TRUE(WaitForJobsToEnd()) << "job " << k;
        ASSERT_TRUE(WaitForResult(expected)) << "job " << k << ":\n" << ResultText();
    }
};

TEST_F(LongSoak, AThousandJobsBackToBackLeaveHandlesThreadsAndMemoryWhereTheyWere)
{
    constexpr int kWarmUp = 21;  // every kind of input three times
    constexpr int kJobs = 1000;
    // The framework's first check of fatal failures on a thread starts a
    // thread of its own that watches it: that comes before the count.
    std::vector<SoakInput> inputs;
    ASSERT_NO_FATAL_FAILURE(inputs = MakeInputs());
    const DWORD idleThreads = ThreadCount();
    std::vector<const SoakInput*> list;

    for (int k = 0; k < kWarmUp; ++k)
        ASSERT_NO_FATAL_FAILURE(RunJob(k, inputs, list));
    WaitForThreadCountAtMost(idleThreads);  // the last worker may still be leaving
    const ProcessFigures before = CurrentFigures();

    const auto start = std::chrono::steady_clock::now();
    for (int k = kWarmUp; k < kWarmUp + kJobs; ++k)
        ASSERT_NO_FATAL_FAILURE(RunJob(k, inputs, list));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(ThreadStarts(), kWarmUp + kJobs);

    const DWORD threads = WaitForThreadCountAtMost(before.threads);
    const ProcessFigures after = CurrentFigures();
    std::cout << "[ figures  ] " << kJobs << " jobs in "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms\n"
              << "[ figures  ] before: " << before << "\n"
              << "[ figures  ] after:  " << after << std::endl;
    EXPECT_LE(threads, before.threads) << "worker threads are left";
    EXPECT_LE(after.handles, before.handles + 5) << "handles leak";
    // A leaked file buffer per job would be megabytes, a leaked list or job
    // record a hundred bytes or so: 100 KB over the run.
    EXPECT_LE(after.privateBytes, before.privateBytes + (1u << 20)) << "memory grows with every job";
    EXPECT_LE(after.workingSet, before.workingSet + (4u << 20)) << "memory grows with every job";
    EXPECT_LE(after.heapBytes, before.heapBytes + (32u << 10)) << "heap blocks are left behind by the jobs";
}

}  // namespace
