// The hand-over of result texts to the window, on a clock of the test's own.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "job/result_pacer.h"

namespace {

class ResultPacer : public testing::Test {
protected:
    // Takes what the window would, and shows it (a set costing cost ms, while
    // during runs) if that is what it is told; returns the text shown, or ""
    // with the wait.
    std::string TakeAndShow(std::uint32_t cost = 0, const std::function<void()>& during = [] {})
    {
        const CResultPacer::Next next = pacer.Take();
        wait = next.wait;
        if (!next.text)
            return "";
        const std::string shown = next.text;
        during();
        EXPECT_EQ(next.text, shown) << "the text changed under the window's set";
        pacer.Shown(std::exchange(now, now + cost));
        return shown;
    }

    int wakes = 0;
    bool wakeWorks = true;
    std::uint32_t now = 0xFFFFFF00u;  // the clock wraps during the tests
    std::uint32_t wait = 0;
    CResultPacer pacer{[this] { return ++wakes, wakeWorks; }, [this] { return now; }};
};

TEST_F(ResultPacer, LinesThatArriveBeforeTheWindowTakesThemAreShownAsOneText)
{
    wakeWorks = false;  // a wake that could not be sent is tried again with the next lines
    pacer.AddResultLines("a\r\n", true, false);
    wakeWorks = true;
    pacer.AddResultLines("b\r\n", false, false);
    pacer.AddResultLines("c\r\n", false, false);
    EXPECT_EQ(wakes, 2) << "one wake is on its way already";
    EXPECT_EQ(TakeAndShow(), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(TakeAndShow(), "") << "nothing new";
    EXPECT_EQ(wait, 0u);

    pacer.AddResultLines("x\r\n", true, false);  // a new job's first line replaces the text
    EXPECT_EQ(wakes, 3);
    now += CResultPacer::kMinPause;
    EXPECT_EQ(TakeAndShow(), "x\r\n");

    // The job's last line, whose wake could not be posted (a full queue):
    // the window's catch-up timer takes it all the same.
    wakeWorks = false;
    pacer.AddResultLines("y\r\n", false, true);
    EXPECT_TRUE(pacer.Pending());
    EXPECT_EQ(TakeAndShow(), "x\r\ny\r\n");
    EXPECT_FALSE(pacer.Pending());
}

TEST_F(ResultPacer, UntilTheLastLineANewTextWaitsTenTimesWhatTheLastSetCostWithOneWakePerPause)
{
    pacer.AddResultLines("a\r\n", true, false);
    EXPECT_EQ(TakeAndShow(20), "a\r\n");
    pacer.AddResultLines("b\r\n", false, false);
    EXPECT_EQ(wakes, 2);
    now += 150;
    EXPECT_EQ(TakeAndShow(), "");
    EXPECT_EQ(wait, 50u) << "200 ms after a set of 20 ms";
    pacer.AddResultLines("c\r\n", false, false);
    pacer.AddResultLines("d\r\n", false, false);
    EXPECT_EQ(wakes, 2) << "lines during a pause neither wake the window nor arm its timer again";
    now += 50;
    EXPECT_EQ(TakeAndShow(1), "a\r\nb\r\nc\r\nd\r\n");

    pacer.AddResultLines("e\r\n", false, false);
    EXPECT_EQ(wakes, 3);
    EXPECT_EQ(TakeAndShow(), "");
    EXPECT_EQ(wait, CResultPacer::kMinPause) << "a cheap set still earns the least pause";

    pacer.AddResultLines("f\r\n", false, true);
    EXPECT_EQ(wakes, 4) << "the last line ends the pause";
    EXPECT_EQ(TakeAndShow(), "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\n") << "and is shown at once";
}

TEST_F(ResultPacer, AfterASetThatCostMoreThanASecondTheLinesWaitForTheLastWithoutWakingTheWindow)
{
    // A job's first set costs more than a second; the window's one look at
    // the line after it leaves that line waiting.
    const auto holdALine = [this] {
        pacer.AddResultLines("a\r\n", true, false);
        now += CResultPacer::kMinPause;
        EXPECT_EQ(TakeAndShow(CResultPacer::kLongestPacedSet + 1), "a\r\n");
        pacer.AddResultLines("b\r\n", false, false);
        now += 100000;
        EXPECT_EQ(TakeAndShow(), "") << "one look, which shows nothing";
        EXPECT_EQ(wait, 0u) << "and arms no timer";
    };
    holdALine();
    pacer.AddResultLines("c\r\n", false, false);
    EXPECT_EQ(wakes, 2) << "the held lines wake the window no further";
    pacer.AddResultLines("d\r\n", false, true);
    EXPECT_EQ(wakes, 3);
    EXPECT_EQ(TakeAndShow(), "a\r\nb\r\nc\r\nd\r\n");

    // A job that ends without its last line (it failed) is shown once no
    // job runs.
    holdALine();
    pacer.NoMoreLines();
    EXPECT_EQ(TakeAndShow(), "a\r\nb\r\n");

    // A new job's first line ends a hold.
    holdALine();
    pacer.AddResultLines("x\r\n", true, false);
    EXPECT_EQ(wakes, 8);
    EXPECT_EQ(TakeAndShow(), "x\r\n");
}

TEST_F(ResultPacer, LinesThatComeDuringASetWaitForItAndALastOneFollowsAtOnce)
{
    pacer.AddResultLines("a\r\n", true, false);
    EXPECT_EQ(TakeAndShow(30, [&] {
                  pacer.AddResultLines("b\r\n", false, false);
                  pacer.AddResultLines("c\r\n", false, true);
              }),
              "a\r\n");
    EXPECT_EQ(wakes, 2) << "no wake during the set, one after it";
    EXPECT_EQ(TakeAndShow(), "a\r\nb\r\nc\r\n");

    // A new job's first lines during a set replace the old job's text.
    pacer.AddResultLines("x\r\n", true, false);
    now += CResultPacer::kMinPause;
    EXPECT_EQ(TakeAndShow(0, [&] { pacer.AddResultLines("y\r\n", true, true); }), "x\r\n");
    EXPECT_EQ(TakeAndShow(), "y\r\n");
    EXPECT_FALSE(pacer.Pending());
}

}  // namespace
