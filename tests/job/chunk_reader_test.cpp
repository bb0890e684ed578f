// The progress rule: what the chunk reader counts and which positions it sends.
#include <cstring>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

#include "digest/chunk_reader.h"
#include "job/worker.h"
#include "platform/file.h"
#include "support/recording_job.h"
#include "support/test_files.h"

namespace {

// A file of zeros of a given size, read from memory.
class ZeroFile : public CFile {
public:
    explicit ZeroFile(std::uint64_t size, bool fail = false) : m_left(size), m_fail(fail) {}
    std::uint32_t Read(void* buffer, std::uint32_t count) override
    {
        if (m_fail)
            throw CFileException();
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, m_left));
        std::memset(buffer, 0, n);
        m_left -= n;
        return n;
    }

private:
    std::uint64_t m_left;
    bool m_fail;
};

struct Sequence {
    std::vector<std::size_t> sizes;
    std::vector<int> positions;  // after the job's initial 0
    std::int64_t doneBytes;
};

std::ostream& operator<<(std::ostream& out, const Sequence& s)
{
    out << "files of";
    for (std::size_t size : s.sizes)
        out << " " << size;
    return out;
}

class ProgressSequence : public testing::TestWithParam<Sequence> {};

TEST_P(ProgressSequence, JobSendsExactlyThesePositions)
{
    TempDir dir;
    RecordingJob job;
    CFileList files;
    for (std::size_t i = 0; i < GetParam().sizes.size(); ++i)
        files.Append(dir.Write("f" + std::to_string(i), PatternBytes(GetParam().sizes[i])));

    DigestWorker(&job, files);

    std::vector<int> expected{0};
    expected.insert(expected.end(), GetParam().positions.begin(), GetParam().positions.end());
    EXPECT_EQ(job.Positions(), expected);
    EXPECT_EQ(job.m_doneBytes, GetParam().doneBytes);
}

INSTANTIATE_TEST_SUITE_P(
    ChunkReader, ProgressSequence,
    testing::Values(Sequence{{3000, 500}, {29, 58, 87, 117, 146, 175}, 6144},
                    Sequence{{2048, 2048}, {25, 50, 75, 100, 125, 150}, 6144},
                    Sequence{{1024}, {100, 200}, 2048}, Sequence{{100}, {1024, 2048}, 2048},
                    // Only empty files: no total, so no position, but every open still counts.
                    Sequence{{0, 0}, {}, 2048}, Sequence{{}, {}, 0}));

TEST(ChunkReader, MillionByteFileReachesFullOnItsLastButOneCall)
{
    RecordingJob job;
    job.m_totalBytes = 1000000;
    ZeroFile file(1000000);
    unsigned char buffer[1024];
    int calls = 0;
    int firstFull = 0;
    while (true) {
        ++calls;
        const std::uint32_t got = ReadChunkWithProgress(buffer, 1024, file);
        if (firstFull == 0 && job.Positions().back() >= 100)
            firstFull = calls;
        if (got == 0)
            break;
    }
    EXPECT_EQ(calls, 978);
    EXPECT_EQ(firstFull, 977);
    EXPECT_EQ(job.Positions()[976], 100);
    EXPECT_EQ(job.Positions()[975], 99);
    EXPECT_EQ(job.Positions().back(), 100);
    EXPECT_EQ(job.m_doneBytes, 1001472);
}

struct Rounding {
    std::int64_t total;
    std::int64_t counted;
    int position;
};

std::ostream& operator<<(std::ostream& out, const Rounding& r)
{
    return out << r.counted << " of " << r.total;
}

class SinglePrecision : public testing::TestWithParam<Rounding> {};

TEST_P(SinglePrecision, PercentIsRoundedToFloatThenTruncated)
{
    RecordingJob job;
    job.m_totalBytes = GetParam().total;
    job.m_doneBytes = GetParam().counted - 1024;
    ZeroFile file(0);
    unsigned char buffer[1024];
    ReadChunkWithProgress(buffer, 1024, file);
    EXPECT_EQ(job.Positions(), std::vector<int>{GetParam().position});
}

INSTANTIATE_TEST_SUITE_P(ChunkReader, SinglePrecision,
                         testing::Values(Rounding{30720001, 30720000, 100}, Rounding{3072001, 3072000, 99},
                                         // Counters past 4 GiB stay exact.
                                         Rounding{5LL << 30, 5LL << 30, 100},
                                         Rounding{5LL << 30, (5LL << 29) + 1024, 50},
                                         // Positions about 2^31: the low 32 bits of the truncated value.
                                         Rounding{102400, ((1LL << 31) - 128) * 1024, 2147483520},
                                         Rounding{102400, (1LL << 31) * 1024, static_cast<int>(2147483648u)},
                                         Rounding{102400, 3000000000LL * 1024, static_cast<int>(3000000000u)}));

TEST(ChunkReader, AFailingReadIsCountedAndPassesThrough)
{
    RecordingJob job;
    job.m_totalBytes = 2048;
    ZeroFile file(4096, true);
    unsigned char buffer[1024];
    EXPECT_THROW(ReadChunkWithProgress(buffer, 1024, file), CFileException);
    EXPECT_EQ(job.m_doneBytes, 1024);
    EXPECT_EQ(job.Positions(), std::vector<int>{50});
}

}  // namespace
