// CReadPool: reads begin in the order asked, as many at once as there are
// readers, which start as reads need them; a read taken back is never made;
// asking allocates nothing.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "platform/read_pool.h"
#include "support/test_files.h"

// Allocations on this thread, for the case that asking makes none.
namespace {
thread_local std::size_t g_allocations = 0;
}

void* operator new(std::size_t size)
{
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
// The nothrow form too (the thread starter uses it): its memory comes back
// through the operator delete below.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    ++g_allocations;
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

using namespace std::chrono_literals;

// Reads that note the order they begin in and wait at a gate while it is
// shut.
class Gate {
public:
    void Shut(bool shut) { m_shut = shut; }
    void Pass(int number)
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_begun += std::to_string(number) + " ";
        }
        ++m_underWay;
        while (m_shut)
            std::this_thread::yield();
        --m_underWay;
    }
    int UnderWay() const { return m_underWay; }
    std::string Begun()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_begun;
    }

private:
    std::atomic<bool> m_shut{false};
    std::atomic<int> m_underWay{0};
    std::mutex m_lock;
    std::string m_begun;
};

class NumberedRead : public CReadPool::Read {
public:
    void Set(Gate& gate, int number)
    {
        m_gate = &gate;
        m_number = number;
    }
    std::atomic<bool> made{false};
    std::thread::id thread;

private:
    void Make() noexcept override
    {
        thread = std::this_thread::get_id();
        m_gate->Pass(m_number);
    }
    void Made(CReadPool::Lock&) noexcept override { made = true; }
    Gate* m_gate = nullptr;
    int m_number = 0;
};

void Ask(CReadPool& pool, NumberedRead& read)
{
    CReadPool::Lock lock(pool.Mutex());
    pool.Ask(lock, read);
}

bool AllMade(NumberedRead* reads, int count)
{
    return WaitFor([&] { return std::all_of(reads, reads + count, [](const NumberedRead& r) { return r.made.load(); }); },
                   10s);
}

TEST(ReadPool, ReadsBeginInTheOrderAskedAsManyAtOnceAsThereAreReaders)
{
    CReadPool pool(3);
    Gate gate;
    gate.Shut(true);
    NumberedRead reads[8];
    for (int i = 0; i < 8; ++i) {
        reads[i].Set(gate, i);
        Ask(pool, reads[i]);
    }
    ASSERT_TRUE(WaitFor([&] { return gate.UnderWay() == 3; }, 10s));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(gate.UnderWay(), 3) << "no more reads in flight than readers";
    std::string first = gate.Begun();
    std::sort(first.begin(), first.end());
    EXPECT_EQ(first, "   012") << "the first asked are the first under way";
    gate.Shut(false);
    EXPECT_TRUE(AllMade(reads, 8));
}

// After a read is made its reader sleeps; a read asked then must wake one.
TEST(ReadPool, AReadAfterTheReadersWentIdleIsMadeAndOneFileStartsOneReader)
{
    CReadPool pool(4);
    Gate gate;
    NumberedRead reads[6];
    for (int round = 0; round < 3; ++round) {
        reads[2 * round].Set(gate, 2 * round);
        Ask(pool, reads[2 * round]);
        ASSERT_TRUE(AllMade(&reads[2 * round], 1)) << "round " << round;
        std::this_thread::sleep_for(20ms);  // its reader goes back to sleep
    }
    EXPECT_TRUE(reads[0].thread == reads[2].thread && reads[2].thread == reads[4].thread)
        << "one read at a time needs one reader";
}

TEST(ReadPool, AReadTakenBackBeforeItBeganIsNeverMadeAndOneUnderWayIsNotTakenBack)
{
    CReadPool pool(1);
    Gate gate;
    gate.Shut(true);
    NumberedRead reads[3];
    for (int i = 0; i < 3; ++i) {
        reads[i].Set(gate, i);
        Ask(pool, reads[i]);
    }
    ASSERT_TRUE(WaitFor([&] { return gate.UnderWay() == 1; }, 10s));
    {
        CReadPool::Lock lock(pool.Mutex());
        EXPECT_TRUE(pool.Withdraw(reads[1]));
        EXPECT_FALSE(pool.Withdraw(reads[0])) << "under way";
        EXPECT_FALSE(reads[1].Pending());
    }
    gate.Shut(false);
    ASSERT_TRUE(AllMade(&reads[2], 1));
    EXPECT_EQ(gate.Begun(), "0 2 ");
    EXPECT_FALSE(reads[1].made);
}

TEST(ReadPool, WithoutReadersAReadIsMadeWhenAskedOnTheAskingThread)
{
    CReadPool pool(0);
    Gate gate;
    NumberedRead read;
    read.Set(gate, 4);
    Ask(pool, read);
    EXPECT_TRUE(read.made);
    EXPECT_EQ(read.thread, std::this_thread::get_id());
}

// The queue is the reads themselves: asking cannot fail for want of memory.
TEST(ReadPool, AskingAllocatesNothing)
{
    CReadPool pool(1);
    Gate gate;
    gate.Shut(true);
    static NumberedRead reads[300];
    reads[0].Set(gate, 0);
    Ask(pool, reads[0]);  // starts the reader
    ASSERT_TRUE(WaitFor([&] { return gate.UnderWay() == 1; }, 10s));
    const std::size_t before = g_allocations;
    for (int i = 1; i < 300; ++i) {
        reads[i].Set(gate, i);
        Ask(pool, reads[i]);
    }
    EXPECT_EQ(g_allocations, before);
    gate.Shut(false);
    EXPECT_TRUE(AllMade(reads, 300));
}

}  // namespace
