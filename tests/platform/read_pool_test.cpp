// CReadPool: reads begin in the order asked, as many at once as there are
// readers, and a read taken back is either never made or waited for.
#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/read_pool.h"
#include "support/test_files.h"

namespace {

using namespace std::chrono_literals;

constexpr unsigned kReaders = 3;

// Reads that note the order they begin in, each placing its own number, and
// that wait at a gate while it is shut. A read asked for failure fails.
class Source {
public:
    void Ask(CReadPool& pool, CReadPool::Read& read, int number, bool fails = false)
    {
        read.buffer = reinterpret_cast<unsigned char*>(&m_placed[static_cast<std::size_t>(number)]);
        read.count = 1;
        read.read = [this, number, fails](unsigned char* buffer, std::uint32_t, std::uint32_t& got) {
            {
                std::lock_guard<std::mutex> lock(m_lock);
                m_begun += std::to_string(number) + " ";
            }
            ++m_underWay;
            while (m_shut)
                std::this_thread::yield();
            --m_underWay;
            *buffer = static_cast<unsigned char>(number);
            got = 1;
            return !fails;
        };
        pool.Ask(read);
    }
    void Shut(bool shut) { m_shut = shut; }
    int UnderWay() const { return m_underWay; }
    std::string Begun()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_begun;
    }
    unsigned char Placed(int number) const { return m_placed[static_cast<std::size_t>(number)]; }

private:
    std::atomic<bool> m_shut{false};
    std::atomic<int> m_underWay{0};
    std::mutex m_lock;
    std::string m_begun;
    unsigned char m_placed[16] = {};
};

TEST(ReadPool, ReadsBeginInTheOrderAskedAsManyAtOnceAsThereAreReaders)
{
    CReadPool pool(kReaders);
    EXPECT_EQ(pool.Readers(), 0u) << "no reader before the first read";
    Source source;
    source.Shut(true);
    CReadPool::Read reads[8];
    for (int i = 0; i < 8; ++i)
        source.Ask(pool, reads[i], i, i == 5);
    ASSERT_EQ(pool.Readers(), kReaders);
    ASSERT_TRUE(WaitFor([&] { return source.UnderWay() == static_cast<int>(kReaders); }, 10s));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(source.UnderWay(), static_cast<int>(kReaders)) << "no more reads in flight than readers";
    std::string first = source.Begun();
    std::sort(first.begin(), first.end());
    EXPECT_EQ(first, "   012") << "the first asked are the first under way";
    CReadPool::Read* all[8];
    for (int i = 0; i < 8; ++i)
        all[i] = &reads[i];
    EXPECT_EQ(pool.WaitFor(all, 8, 1, 10ms), 0u) << "none is done while the gate is shut";
    source.Shut(false);
    EXPECT_EQ(pool.WaitFor(all, 8, 8, 10s), 8u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(reads[i].failed, i == 5);
        EXPECT_EQ(reads[i].got, i == 5 ? 0u : 1u);
        EXPECT_EQ(source.Placed(i), i);
    }
}

TEST(ReadPool, AReadTakenBackBeforeItBeganIsNeverMadeAndOneUnderWayIsWaitedFor)
{
    CReadPool pool(1);
    Source source;
    source.Shut(true);
    CReadPool::Read reads[3];
    for (int i = 0; i < 3; ++i)
        source.Ask(pool, reads[i], i);
    ASSERT_TRUE(WaitFor([&] { return source.UnderWay() == 1; }, 10s));
    pool.Withdraw(reads[1]);

    EXPECT_TRUE(StaysInside([&] { pool.Withdraw(reads[0]); }, [&] { source.Shut(false); }))
        << "the read under way still writes into its buffer";
    CReadPool::Read* last = &reads[2];
    ASSERT_EQ(pool.WaitFor(&last, 1, 1, 10s), 1u);
    EXPECT_EQ(source.Begun(), "0 2 ");
}

TEST(ReadPool, WithoutReadersAReadIsMadeWhenAsked)
{
    CReadPool pool(0);
    Source source;
    CReadPool::Read read;
    source.Ask(pool, read, 4);
    EXPECT_TRUE(pool.Done(read));
    EXPECT_EQ(source.Placed(4), 4);
}

TEST(ReadPool, GoingAwayWaitsForTheReadUnderWay)
{
    Source source;
    source.Shut(true);
    CReadPool::Read read;
    auto pool = std::make_unique<CReadPool>(2);
    source.Ask(*pool, read, 0);
    ASSERT_TRUE(WaitFor([&] { return source.UnderWay() == 1; }, 10s));
    EXPECT_TRUE(StaysInside([&] { pool.reset(); }, [&] { source.Shut(false); }));
}

}  // namespace
