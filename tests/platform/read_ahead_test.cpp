// CReadAhead: the pieces of its files come in order, each file's ending with
// its last or failed piece; a stopped one begins no read, and several can be
// waited for at once.
#include <atomic>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>

#include "platform/read_ahead.h"
#include "support/test_files.h"

namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kPiece = 4096;

// Files whose every piece holds its file's tag and its own index: the reads
// of all of them count together, and may be held at a gate. The read of
// piece failAt of any file fails.
class Files {
public:
    explicit Files(int failAt = -1) : m_failAt(failAt) {}

    CReadAhead::ReadFunction File(std::uint64_t length, unsigned char tag)
    {
        auto next = std::make_shared<std::uint64_t>(0);
        return [this, length, tag, next](unsigned char* buffer, std::uint32_t count, std::uint32_t& got) {
            ++m_reads;
            m_lastThread = std::this_thread::get_id();
            while (m_held)
                std::this_thread::yield();
            const auto index = static_cast<unsigned char>(*next / kPiece);
            if (index == m_failAt)
                return false;
            got = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, length - *next));
            *next += got;
            std::memset(buffer, tag, got);
            if (got > 1)
                buffer[1] = index;
            return true;
        };
    }
    int Reads() const { return m_reads; }
    void Hold(bool held) { m_held = held; }
    std::thread::id LastThread() const { return m_lastThread; }

private:
    const int m_failAt;
    std::atomic<int> m_reads{0};
    std::atomic<bool> m_held{false};
    std::atomic<std::thread::id> m_lastThread{};
};

// What Next hands out until count files have ended: "tag:index" for each
// piece, "!" after a failed one, "." after a last one.
std::string Drain(CReadAhead& ring, int files)
{
    std::string seen;
    while (files > 0) {
        const CReadAhead::Piece piece = ring.Next();
        if (piece.failed) {
            seen += std::to_string(piece.tag) + "! ";
        } else {
            EXPECT_EQ(piece.offset % kPiece, 0u);
            EXPECT_TRUE(piece.size == 0 || piece.data[0] == piece.tag);
            seen += std::to_string(piece.tag) + ":" + std::to_string(piece.size > 1 ? piece.data[1] : 0);
            seen += piece.last ? ". " : " ";
        }
        files -= piece.last ? 1 : 0;
    }
    return seen;
}

class ReadAheadFailure : public testing::TestWithParam<int> {};

// Three files of 3, 1 and 0 pieces (the last of 3 short), read through two
// readers into three buffers; piece failAt of each fails.
TEST_P(ReadAheadFailure, PiecesComeInOrderAndAFailureEndsOnlyItsFile)
{
    const int failAt = GetParam();
    CReadPool pool(2);
    Files files(failAt);
    CReadAhead ring(pool, kPiece, 3);
    ring.Add(files.File(2 * kPiece + 5, 1), 2 * kPiece + 5, 1);
    ring.Add(files.File(kPiece, 2), kPiece, 2);
    ring.Add(files.File(0, 3), 0, 3);
    const std::string expected[] = {"1! 2! 3! ", "1:0 1! 2:0. 3:0. ", "1:0 1:1 1! 2:0. 3:0. ",
                                    "1:0 1:1 1:2. 2:0. 3:0. "};
    EXPECT_EQ(Drain(ring, 3), expected[failAt < 0 ? 3 : failAt]);
    EXPECT_EQ(ring.Files(), 0u);
    EXPECT_TRUE(ring.Next().failed) << "nothing is left to hand out";
}

INSTANTIATE_TEST_SUITE_P(ReadAhead, ReadAheadFailure, testing::Values(-1, 0, 1, 2));

// A lane's way: the next file is added once the last read of the one before
// is asked, and its first piece is read while the last one is held.
TEST(ReadAhead, TheNextFileIsWantedOnceTheLastReadIsAskedAndReadMeanwhile)
{
    CReadPool pool(1);
    Files files;
    CReadAhead ring(pool, kPiece, 2);
    files.Hold(true);
    ring.Add(files.File(2 * kPiece, 1), 2 * kPiece, 1);
    EXPECT_FALSE(ring.WantsFile()) << "its last read is not asked yet";
    files.Hold(false);
    EXPECT_EQ(ring.Next().data[1], 0);
    ASSERT_TRUE(WaitFor([&] { return ring.WantsFile(); }, 10s));
    ring.Add(files.File(5, 2), 5, 2);
    const CReadAhead::Piece last = ring.Next();
    EXPECT_TRUE(last.last && last.data[1] == 1);
    EXPECT_TRUE(WaitFor([&] { return ring.Ready(); }, 10s)) << "the next file's piece is read meanwhile";
    EXPECT_EQ(Drain(ring, 1), "2:0. ");
}

TEST(ReadAhead, AFileOfOnePieceWhoseTurnItIsIsReadWhereItIsAdded)
{
    CReadPool pool(1);
    Files files;
    CReadAhead ring(pool, kPiece, 2);
    ring.Add(files.File(100, 1), 100, 1);
    EXPECT_TRUE(ring.Ready());
    EXPECT_EQ(files.LastThread(), std::this_thread::get_id());
    EXPECT_EQ(Drain(ring, 1), "1:0. ");
}

// A batch that ends stops every lane's reading before it waits for any.
TEST(ReadAhead, AStoppedOneBeginsNoReadAndGoesOnceTheReadInFlightIsBack)
{
    CReadPool pool(1);
    Files files;
    files.Hold(true);
    auto first = std::make_unique<CReadAhead>(pool, kPiece, 3);
    auto second = std::make_unique<CReadAhead>(pool, kPiece, 3);
    first->Add(files.File(10 * kPiece, 1), 10 * kPiece, 1);
    second->Add(files.File(10 * kPiece, 2), 10 * kPiece, 2);
    ASSERT_TRUE(WaitFor([&] { return files.Reads() == 1; }, 10s));
    first->Stop();
    second->Stop();
    EXPECT_TRUE(StaysInside([&] { first.reset(); }, [&] { files.Hold(false); }))
        << "the read in flight still writes into its buffer";
    second.reset();
    EXPECT_EQ(files.Reads(), 1) << "the queued read and the next ones were never made";
}

TEST(ReadAhead, WaitingForSeveralEndsWithTheReadsThatWereWaitedFor)
{
    CReadPool pool(2);
    Files files;
    files.Hold(true);
    CReadAhead a(pool, kPiece, 2), b(pool, kPiece, 2);
    a.Add(files.File(3 * kPiece, 1), 3 * kPiece, 1);
    b.Add(files.File(3 * kPiece, 2), 3 * kPiece, 2);
    CReadAhead* both[] = {&a, &b};
    EXPECT_EQ(CReadAhead::WaitFor(both, 2, 1, 20ms), 0u) << "none is in while the gate is shut";
    std::thread open([&] {
        std::this_thread::sleep_for(50ms);
        files.Hold(false);
    });
    // A wake that never came would hold this for the minute; both come at
    // once, one more than the wait wants.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_GE(CReadAhead::WaitFor(both, 2, 1, std::chrono::minutes(1)), 1u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    open.join();
}

}  // namespace
