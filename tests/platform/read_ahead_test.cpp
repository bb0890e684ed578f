// CReadAhead: the blocks of a file come in order, then its end or its failure,
// whatever the reader thread is doing when the consumer asks or lets go.
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/read_ahead.h"
#include "support/test_files.h"

namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kBlock = 4096;
constexpr std::size_t kRing = 3;

// A file of a number of blocks whose first byte is their index; the read that
// would fetch block failAt fails instead. Reads may be held at a gate.
class ScriptedSource {
public:
    ScriptedSource(int blocks, int failAt = -1) : m_blocks(blocks), m_failAt(failAt) {}

    CReadAhead::ReadFunction Reader()
    {
        return [this](unsigned char* buffer, std::uint32_t count, std::uint32_t& got) {
            const int index = m_reads++;
            while (m_held)
                std::this_thread::yield();
            if (index == m_failAt)
                return false;
            got = index < m_blocks ? count : 0;
            std::memset(buffer, index, got);
            return true;
        };
    }

    int Reads() const { return m_reads; }
    void Hold(bool held) { m_held = held; }

private:
    const int m_blocks;
    const int m_failAt;
    std::atomic<int> m_reads{0};
    std::atomic<bool> m_held{false};
};

// The blocks that Next hands out until the end or a failure: their first
// bytes, then "end" or "failed".
std::string Drain(CReadAhead& file)
{
    std::string seen;
    for (;;) {
        const CReadAhead::Block block = file.Next();
        if (block.failed)
            return seen + "failed";
        if (block.size == 0)
            return seen + "end";
        EXPECT_EQ(block.size, kBlock);
        seen += std::to_string(block.data[0]) + " ";
    }
}

class ReadAheadFailure : public testing::TestWithParam<int> {};

TEST_P(ReadAheadFailure, GivesTheBlocksBeforeThenFailsForGood)
{
    const int failAt = GetParam();
    const bool fails = failAt >= 0;
    ScriptedSource source(5, failAt);
    CReadAhead file(source.Reader(), kBlock, kRing);
    ASSERT_TRUE(file.Start());
    std::string expected;
    for (int i = 0; i < (fails ? failAt : 5); ++i)
        expected += std::to_string(i) + " ";
    EXPECT_EQ(Drain(file), expected + (fails ? "failed" : "end"));
    const CReadAhead::Block after = file.Next();
    EXPECT_EQ(after.failed, fails);
    EXPECT_EQ(after.size, 0u) << "the end stays the end, a failure a failure";
}

// -1: no failure. 5: the read that would find the end fails.
INSTANTIATE_TEST_SUITE_P(ReadAhead, ReadAheadFailure, testing::Values(-1, 0, 1, 2, 3, 4, 5));

TEST(ReadAhead, AFileLetGoWhileTheReaderWaitsForABufferFreesTheReaderAtOnce)
{
    ScriptedSource source(100);
    auto file = std::make_unique<CReadAhead>(source.Reader(), kBlock, kRing);
    ASSERT_TRUE(file->Start());
    file->Next();
    // The ring is full and one block held: the reader waits for a buffer.
    ASSERT_TRUE(WaitFor([&] { return source.Reads() == static_cast<int>(kRing); }, 10s));
    file.reset();
    const int reads = source.Reads();

    ScriptedSource second(1);
    CReadAhead next(second.Reader(), kBlock, kRing);
    EXPECT_TRUE(next.Start()) << "the reader let go of the first file";
    EXPECT_EQ(Drain(next), "0 end");
    EXPECT_EQ(source.Reads(), reads) << "nothing was read for the first file after it was let go";
}

TEST(ReadAhead, ASecondFileWhileTheFirstIsReadIsReadInTurnAndTheReaderStaysWithTheFirst)
{
    ScriptedSource first(4);
    first.Hold(true);  // its first read does not return yet
    CReadAhead a(first.Reader(), kBlock, kRing);
    ASSERT_TRUE(a.Start());
    ScriptedSource second(1);
    CReadAhead b(second.Reader(), kBlock, kRing);
    EXPECT_FALSE(b.Start()) << "the reader serves one file at a time";
    first.Hold(false);
    EXPECT_EQ(Drain(a), "0 1 2 3 end");
    EXPECT_EQ(second.Reads(), 0);
}

TEST(ReadAhead, LettingGoDuringAReadWaitsForThatReadAndNoMore)
{
    ScriptedSource source(100);
    source.Hold(true);
    auto file = std::make_unique<CReadAhead>(source.Reader(), kBlock, kRing);
    ASSERT_TRUE(file->Start());
    ASSERT_TRUE(WaitFor([&] { return source.Reads() == 1; }, 10s));
    EXPECT_TRUE(StaysInside([&] { file.reset(); }, [&] { source.Hold(false); }))
        << "the read in flight still writes into the file's buffer";
    EXPECT_EQ(source.Reads(), 1);
}

}  // namespace
