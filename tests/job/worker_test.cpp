// DigestWorker: the result lines of a job, its counters and its bar.
#include <algorithm>
#include <functional>
#include <iterator>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

#include "job/batch.h"
#include "job/batch_state.h"
#include "job/worker.h"
#include "platform/ansi.h"
#include "platform/file.h"
#include "support/other_process.h"
#include "support/recording_job.h"
#include "support/slow_fs.h"
#include "support/test_files.h"

#include <filesystem>

namespace {

const std::string kEmptyDigest = "d41d8cd98f00b204e9800998ecf8427e";

class WorkerTest : public testing::Test {
protected:
    void TearDown() override { AllowBatches(true); }

    std::uint32_t Run(const std::vector<std::string>& paths)
    {
        CFileList files;
        for (const auto& path : paths)
            files.Append(path);
        return DigestWorker(&job, files);
    }

    RecordingJob job;
    TempDir dir;
};

// Jobs of several files one file after another, as one stream, or as a
// batch: what the user sees in the end is the same.
class EitherWay : public WorkerTest, public testing::WithParamInterface<bool> {
protected:
    void SetUp() override { AllowBatches(GetParam()); }
};

std::string WayName(const testing::TestParamInfo<bool>& batch)
{
    return batch.param ? "AsABatch" : "InTurn";
}

// One file after another: the one stream's own order of texts and positions.
class InTurn : public WorkerTest {
protected:
    void SetUp() override { AllowBatches(false); }
};

TEST_F(WorkerTest, EmptyFileGivesItsLine)
{
    EXPECT_EQ(Run({dir.Write("e.txt", "")}), 1u);
    EXPECT_EQ(job.Texts(), std::vector<std::string>{Line("e.txt", kEmptyDigest)});
    EXPECT_EQ(job.Marks(), std::vector<std::string>{"se"});
}

TEST_F(InTurn, EveryPathGivesOneLineInListOrderAndTheWholeTextAfterEach)
{
    const std::string a = dir.Write("a.bin", "alpha");
    const std::string c = dir.Write("c.bin", "gamma");
    Run({a, dir.PathOf("b.bin"), c});
    const std::string first = Line("a.bin", Md5Hex("alpha"));
    const std::string second = first + Line("b.bin", L"找不到文件");
    const std::string third = second + Line("c.bin", Md5Hex("gamma"));
    EXPECT_EQ(job.Texts(), (std::vector<std::string>{first, second, third}));
    EXPECT_EQ(job.Marks(), (std::vector<std::string>{"s", "", "e"})) << "which text starts and which ends the job";
}

TEST_P(EitherWay, APathListedTwiceIsCountedAndReportedTwice)
{
    const std::string a = dir.Write("a.bin", PatternBytes(3000));
    Run({a, a});
    EXPECT_EQ(job.LastText(), Line("a.bin", Md5Hex(PatternBytes(3000))) + Line("a.bin", Md5Hex(PatternBytes(3000))));
    EXPECT_EQ(job.m_totalBytes, 6000);
}

TEST_P(EitherWay, FilesThatDoNotOpenGiveTheirReason)
{
    const std::string held = dir.Write("held.bin", "x");
    ExclusiveHold hold(held);
    ASSERT_TRUE(hold.IsHeld());
    Run({dir.PathOf("gone.bin"), dir.MakeDir("sub"), held});
    EXPECT_EQ(job.LastText(), Line("gone.bin", L"找不到文件") + Line("sub", L"不是文件") +
                                  Line("held.bin", L"文件被占用"));
    EXPECT_EQ(job.m_totalBytes, 0);
    EXPECT_EQ(job.Positions(), std::vector<int>{0});
}

#ifdef __linux__
TEST_F(WorkerTest, AReadFailureIsReportedNotPassedOffAsADigest)
{
    Run({"/proc/self/mem"});
    EXPECT_EQ(job.LastText(), Line("mem", L"读取失败"));
}
#endif

TEST_F(WorkerTest, AFileThatCannotBeClosedAfterItsLengthAddsNothingToTheTotal)
{
    const std::string a = dir.Write("a.bin", PatternBytes(3000));
    CFile::SetCloseFault([] { return true; });
    Run({a});
    CFile::SetCloseFault(nullptr);
    EXPECT_EQ(job.m_totalBytes, 0);
    EXPECT_EQ(job.LastText(), Line("a.bin", Md5Hex(PatternBytes(3000)))) << "its digest is not touched";
}

TEST_P(EitherWay, AFileHeldByAnotherProcessIsReportedAndTheRestGoesOn)
{
    const std::string held = dir.Write("held.bin", "x");
    const std::string free = dir.Write("free.bin", "y");
    HeldByAnotherProcess other(held);
    ASSERT_TRUE(other.IsHeld());
    Run({held, free});
    EXPECT_EQ(job.LastText(), Line("held.bin", L"文件被占用") + Line("free.bin", Md5Hex("y")));
}

TEST_P(EitherWay, AReadFailingMidFileGivesItsReasonAndTheNextFileIsDigested)
{
    const std::string big = dir.Write("big.bin", PatternBytes(3 << 20));
    const std::string small = dir.Write("small.bin", "s");
    {
        ReadFailureFrom failure(1 << 20);
        Run({big, small});
    }
    EXPECT_EQ(job.LastText(), Line("big.bin", L"读取失败") + Line("small.bin", Md5Hex("s")));
    EXPECT_GT(job.m_doneBytes, 1 << 20) << "the first megabyte was read before the failure";
    EXPECT_LT(job.m_doneBytes, 3 << 20);
}

INSTANTIATE_TEST_SUITE_P(Worker, EitherWay, testing::Bool(), WayName);

// Runs paths as one stream and as a batch, and expects the batch to end
// where the stream does: the same text, counters and bar, each text holding
// the one before it and the bar never going back.
void ExpectTheBatchToEndAsTheStreamDoes(const std::vector<std::string>& paths)
{
    struct Outcome {
        std::string text;
        std::int64_t done, total;
        int position;
    };
    const auto run = [&](bool batch) {
        AllowBatches(batch);
        RecordingJob job;
        CFileList files;
        for (const std::string& path : paths)
            files.Append(path);
        DigestWorker(&job, files);
        AllowBatches(true);
        const std::vector<std::string> texts = job.Texts();
        const std::vector<std::string> marks = job.Marks();
        for (std::size_t t = 1; t < texts.size(); ++t)
            EXPECT_EQ(texts[t].compare(0, texts[t - 1].size(), texts[t - 1]), 0) << "a text that drops a line before it";
        EXPECT_TRUE(!marks.empty() && marks.front().find('s') == 0 && marks.back().find('e') != std::string::npos);
        const std::vector<int> positions = job.Positions();
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end())) << "the bar went back";
        return Outcome{job.LastText(), job.m_doneBytes, job.m_totalBytes, positions.empty() ? -1 : positions.back()};
    };
    const Outcome stream = run(false);
    const Outcome batch = run(true);
    EXPECT_EQ(batch.text, stream.text);
    EXPECT_EQ(batch.done, stream.done);
    EXPECT_EQ(batch.total, stream.total);
    EXPECT_EQ(batch.position, stream.position);
}

// A batch of every kind of path against one stream: sizes about the
// bounds of blocks, chunks and pieces, empty files, a path listed three
// times, a missing one, a folder, one held elsewhere, and more small files
// than all lanes together take.
TEST(Batch, EndsWithTheOneStreamsTextCountersAndPositionWithItsLinesInOrder)
{
    TempDir dir;
    const SmallFiles small = WriteSmallFiles(dir, 40);
    std::vector<std::string> paths = small.paths;
    const std::size_t sizes[] = {0, 1, 63, 64, 65, 1023, 1024, 1025, 4097, 65535, 65536, 65537, 300000, 3 << 20};
    for (std::size_t k = 0; k < std::size(sizes); ++k)
        paths.insert(paths.begin() + static_cast<std::ptrdiff_t>(3 * k), dir.Write("s" + std::to_string(sizes[k]), PatternBytes(sizes[k])));
    paths.insert(paths.begin() + 5, paths[30]);
    paths.push_back(paths[30]);
    paths.push_back(dir.PathOf("missing"));
    paths.push_back(dir.MakeDir("folder"));
    const std::string held = dir.Write("held", "h");
    ExclusiveHold hold(held);
    paths.insert(paths.begin() + 7, held);
    ExpectTheBatchToEndAsTheStreamDoes(paths);
}

// From a share whose every request comes late, the batch keeps several
// files under way, never more open at once than its bound, and still ends
// as the stream does.
TEST(ShareFs, ABatchHasSeveralFilesOpenAtOnceButNoMoreThanItsBound)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 150; ++i) {
        paths.push_back(ShareFsWrite("batch-" + std::to_string(i), PatternBytes(100 + 997 * static_cast<std::size_t>(i))));
        if (paths.back().empty())
            GTEST_SKIP() << ShareFsMissing();
    }
    paths.insert(paths.begin() + 9, paths[20]);
    paths.insert(paths.begin() + 40, paths.front() + ".missing");
    ASSERT_TRUE(ResetShareFsCounts());
    ExpectTheBatchToEndAsTheStreamDoes(paths);
    ShareFsCounts counts;
    ASSERT_TRUE(ReadShareFsCounts(counts));
    EXPECT_EQ(counts.opens, 2 * 2 * 151u) << "each listed file opened for its length and for its digest, in both runs";
    EXPECT_GT(counts.openMax, 2u);
    EXPECT_LE(counts.openMax, CBatchState::kMostOpen);
}

// Runs change() on the job's thread once the digest pass has begun, that is
// after the size pass has measured every file.
class BetweenThePasses : public InTurn {
protected:
    void Between(std::function<void()> change)
    {
        job.onPosition = [this, change](int) {
            if (job.m_doneBytes > 0 && !m_done) {
                m_done = true;
                change();
            }
        };
    }

private:
    bool m_done = false;
};

TEST_F(BetweenThePasses, AFileDeletedAfterItsLengthWasTakenIsReportedMissing)
{
    const std::string a = dir.Write("a.bin", PatternBytes(2048));
    const std::string b = dir.Write("b.bin", PatternBytes(2048));
    Between([&] { std::filesystem::remove(b); });
    Run({a, b});
    EXPECT_EQ(job.LastText(), Line("a.bin", Md5Hex(PatternBytes(2048))) + Line("b.bin", L"找不到文件"));
    EXPECT_EQ(job.m_totalBytes, 4096);
    EXPECT_EQ(job.Positions().back(), 75) << "the bar ends short of full: the missing file was never read";
}

TEST_F(BetweenThePasses, AFileTruncatedAfterItsLengthWasTakenGivesTheDigestOfWhatIsLeft)
{
    const std::string a = dir.Write("a.bin", PatternBytes(2048));
    const std::string b = dir.Write("b.bin", PatternBytes(5000));
    Between([&] { std::filesystem::resize_file(b, 100); });
    Run({a, b});
    EXPECT_EQ(job.LastText(), Line("a.bin", Md5Hex(PatternBytes(2048))) + Line("b.bin", Md5Hex(PatternBytes(100))));
    EXPECT_EQ(job.m_totalBytes, 7048);
}

// A file that even an administrator may not read: write-only attributes of
// the Linux kernel (reached as Z:\\sys under Wine). Tests run as root, so no
// file of our own can be made unreadable.
std::string UnreadableFile()
{
    for (const char* path : {"/sys/bus/pci/rescan", "/sys/class/zram-control/hot_remove"}) {
#ifdef _WIN32
        std::string windowsPath = std::string("Z:") + path;
        for (char& c : windowsPath)
            c = c == '/' ? '\\' : c;
        if (std::filesystem::exists(windowsPath))
            return windowsPath;
#else
        if (std::filesystem::exists(path))
            return path;
#endif
    }
    return {};
}

TEST_F(WorkerTest, AFileThatMayNotBeReadIsReportedAsSuch)
{
    const std::string path = UnreadableFile();
    if (path.empty())
        GTEST_SKIP() << "no write-only file on this system";
    Run({path});
    EXPECT_EQ(job.LastText(), Line(FileNameFromPath(path), L"拒绝访问"));
}

TEST_F(WorkerTest, EmptyListResetsCountersAndBarAndWritesNothing)
{
    job.m_totalBytes = 77;
    job.m_doneBytes = 99;
    EXPECT_EQ(Run({}), 1u);
    EXPECT_EQ(job.m_totalBytes, 0);
    EXPECT_EQ(job.m_doneBytes, 0);
    EXPECT_EQ(job.Positions(), std::vector<int>{0});
    EXPECT_TRUE(job.Texts().empty());
}

TEST_F(WorkerTest, NoDialogTouchesNothing)
{
    CFileList files;
    files.Append(dir.Write("a", "a"));
    EXPECT_EQ(DigestWorker(nullptr, files), 0xFFFFFFFFu);
    EXPECT_TRUE(job.Positions().empty());
}

TEST_F(WorkerTest, ASecondJobsTextStartsAfresh)
{
    Run({dir.Write("one", "1")});
    Run({dir.Write("two", "2")});
    EXPECT_EQ(job.Texts().back(), Line("two", Md5Hex("2")));
}

TEST_F(WorkerTest, ASizePassTotalPast4GiBIsExact)
{
    // Sparse: the size pass only asks for the length. The job is stopped at
    // its first chunk, once the total is known.
    const std::uint64_t size = (std::uint64_t{1} << 32) + 1;
    const std::string big = dir.WriteSparse("big.bin", size);
    job.onPosition = [&](int) {
        if (job.m_doneBytes > 0)
            job.jobs.Stop();
    };
    job.m_files.Append(big);
    ASSERT_TRUE(job.jobs.Start());
    ASSERT_TRUE(job.jobs.WaitIdle(std::chrono::seconds(30)));
    EXPECT_EQ(static_cast<std::uint64_t>(job.m_totalBytes), size);
    EXPECT_TRUE(job.Texts().empty()) << "no line for a file cut short";
}

}  // namespace
