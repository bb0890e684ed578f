// The hand-over of result texts to the window, on a clock of the test's own.
#include <gtest/gtest.h>

#include <string>

#include "job/result_pacer.h"

namespace {

class ResultPacer : public testing::Test {
protected:
    // Takes what the window would, and shows it (a set costing cost ms) if
    // that is what it is told; returns the text shown, or "" with the wait.
    std::string TakeAndShow(std::uint32_t cost = 0)
    {
        const CResultPacer::Next next = pacer.Take();
        wait = next.wait;
        if (!next.show)
            return "";
        const std::uint32_t start = now;
        now += cost;
        pacer.Shown(start);
        return next.text;
    }

    int wakes = 0;
    bool wakeWorks = true;
    std::uint32_t now = 0xFFFFFF00u;  // the clock wraps during the tests
    std::uint32_t wait = 0;
    CResultPacer pacer{[this] { return ++wakes, wakeWorks; }, [this] { return now; }};
};

TEST_F(ResultPacer, TextsThatArriveBeforeTheWindowTakesOneAreShownAsTheLatest)
{
    wakeWorks = false;  // a wake that could not be sent is tried again with the next text
    pacer.SetResultText("a\r\n", true, false);
    wakeWorks = true;
    pacer.SetResultText("a\r\nb\r\n", false, false);
    pacer.SetResultText("a\r\nb\r\nc\r\n", false, false);
    EXPECT_EQ(wakes, 2) << "one wake is on its way already";
    EXPECT_EQ(TakeAndShow(), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(TakeAndShow(), "") << "nothing new";
    EXPECT_EQ(wait, 0u);

    pacer.SetResultText("x\r\n", true, false);  // a new job's first line replaces the text
    EXPECT_EQ(wakes, 3);
    now += CResultPacer::kMinPause;
    EXPECT_EQ(TakeAndShow(), "x\r\n");

    // The job's last line, whose wake could not be posted (a full queue):
    // the window's catch-up timer takes it all the same.
    wakeWorks = false;
    pacer.SetResultText("x\r\ny\r\n", false, true);
    EXPECT_TRUE(pacer.Pending());
    EXPECT_EQ(TakeAndShow(), "x\r\ny\r\n");
    EXPECT_FALSE(pacer.Pending());
}

TEST_F(ResultPacer, UntilTheLastLineANewTextWaitsTenTimesWhatTheLastSetCost)
{
    pacer.SetResultText("a\r\n", true, false);
    EXPECT_EQ(TakeAndShow(20), "a\r\n");
    pacer.SetResultText("a\r\nb\r\n", false, false);
    now += 150;
    EXPECT_EQ(TakeAndShow(), "");
    EXPECT_EQ(wait, 50u) << "200 ms after a set of 20 ms";
    now += 50;
    EXPECT_EQ(TakeAndShow(1), "a\r\nb\r\n");

    pacer.SetResultText("a\r\nb\r\nc\r\n", false, false);
    EXPECT_EQ(TakeAndShow(), "");
    EXPECT_EQ(wait, CResultPacer::kMinPause) << "a cheap set still earns the least pause";

    pacer.SetResultText("a\r\nb\r\nc\r\nd\r\n", false, true);
    EXPECT_EQ(wakes, 4) << "the last line wakes the window whatever is on its way";
    EXPECT_EQ(TakeAndShow(), "a\r\nb\r\nc\r\nd\r\n") << "and is shown at once";
}

}  // namespace
